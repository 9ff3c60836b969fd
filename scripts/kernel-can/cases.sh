#!/bin/sh
# The CAN adapter and card links on the kernel's own CAN stack, with vcan interfaces as the
# bus: b6409-sim --can plays the module, b6409ctl is the user, and candump -L is a witness of
# every frame that crossed the bus, independent of both. Runs as busybox sh inside the test
# machine (scripts/kernel-can-test.sh); also runs as it stands on any Linux machine with
# `modprobe vcan`, as root, with b6409ctl, b6409-sim and can-utils on PATH:
#
#   sudo env PATH="$PWD/build/bin:$PATH" sh scripts/kernel-can/cases.sh
#
# One line per case, "ok - ..." or "FAIL - ...", then "N passed, M failed".

tmp=${TMPDIR:-/tmp}/kernel-can.$$
mkdir -p "$tmp"
passed=0
failed=0
problems=""

# --------------------------------------------------------------------------------------------
# Reporting

# A case collects its problems with `problem` and ends with `verdict NAME`.
problem() {
    problems="$problems${problems:+; }$*"
}

verdict() {
    if [ -z "$problems" ]; then
        passed=$((passed + 1))
        echo "ok - $*"
    else
        failed=$((failed + 1))
        echo "FAIL - $*: $problems"
    fi
    problems=""
}

# Centiseconds since boot: busybox's date has no sub-second field.
now_cs() {
    read -r uptime _ </proc/uptime
    echo "${uptime%.*}${uptime#*.}" | sed 's/^0*//;s/^$/0/'
}

# --------------------------------------------------------------------------------------------
# The bus, the module and the witness

# The interfaces made here, removed again at the end (on a machine of its own that matters).
buses_made=""
# bus_add NAME [SETTING VALUE]: settings such as the MTU before the interface comes up.
bus_add() {
    ip link add dev "$1" type vcan || return 1
    buses_made="$buses_made $1"
    if [ $# -gt 1 ]; then ip link set "$@" || return 1; fi
    ip link set "$1" up
}

# Starts the module on an interface with extra simulator options; its pid in $sim_pid. Waits
# until it has bound its socket (it prints the interface's name then).
sim_start() {
    interface=$1
    shift
    b6409-sim --can "$interface" "$@" >"$tmp/sim-$interface.out" 2>&1 &
    sim_pid=$!
    for _ in $(seq 50); do
        [ -s "$tmp/sim-$interface.out" ] && return 0
        sleep 0.05
    done
    echo "# b6409-sim on $interface did not start: $(cat "$tmp/sim-$interface.out")"
    return 1
}

stop_process() {
    kill "$1" 2>/dev/null
    wait "$1" 2>/dev/null
}

# candump's log of one interface, from now until witness_stop; pid in $witness_pid.
witness_start() {
    candump -L "$1" >"$2" &
    witness_pid=$!
    # candump binds right after it starts; a frame sent before that would be missed.
    sleep 0.2
}

witness_stop() {
    sleep 0.1
    stop_process "$witness_pid"
}

# The frames of a witness log as ID#DATA, upper case.
frames_of() {
    sed -n 's/^([^)]*) [^ ]* //p' "$1" | tr 'a-f' 'A-F'
}

# The requests among them: 11-bit IDs without the reply bit (0x400).
requests_of() {
    frames_of "$1" | grep -E '^[0-3][0-9A-F]{2}#'
}

# --------------------------------------------------------------------------------------------
# Running b6409ctl

# Runs b6409ctl with a time-out; stdout and stderr in $out, exit status in $rc.
ctl() {
    out=$(timeout 30 b6409ctl "$@" 2>&1)
    rc=$?
}

# Expects the last run to have exited with $1 and printed $2 as its first line.
expect_ctl() {
    first=$(echo "$out" | head -n 1)
    [ "$rc" = "$1" ] && [ "$first" = "$2" ] ||
        problem "'$label' gave status $rc and '$(echo "$out" | tr '\n' '|')', not $1 and '$2'"
}

# --------------------------------------------------------------------------------------------
# The frames a request must be: ID, then data bytes 0-3 and 4-7 as little-endian 32-bit values.

le32() {
    printf '%02X%02X%02X%02X' $(($1 & 255)) $(($1 >> 8 & 255)) $(($1 >> 16 & 255)) \
        $(($1 >> 24 & 255))
}

frame() {
    printf '%03X#%s%s\n' "$1" "$(le32 "$2")" "$(le32 "$3")"
}

# --------------------------------------------------------------------------------------------
# The lists: 20 filter rows and 10 mapping rows covering every row type. Each row is
# "TYPE|ID TEXT|CODE|FIRST VALUE|SECOND VALUE", the values as the download must send them.

filter_rows() {
    i=0
    while [ $i -lt 20 ]; do
        case $((i % 4)) in
        0) printf '11-bit SID|0x%X|17|%d|%d\n' $((0x100 + i)) $((0x100 + i)) 0xFFFFFFFF ;;
        1)
            printf '11-bit GID|0x%X~0x%X|18|%d|%d\n' $((0x200 + i)) $((0x2F0 + i)) \
                $((0x200 + i)) $((0x2F0 + i))
            ;;
        2) printf '29-bit SID|0x%X|19|%d|%d\n' $((0x18FEF100 + i)) $((0x18FEF100 + i)) 0xFFFFFFFF ;;
        3)
            printf '29-bit GID|0x%X~0x%X|20|%d|%d\n' $((0x18000000 + i * 256)) \
                $((0x180000FF + i * 256)) $((0x18000000 + i * 256)) $((0x180000FF + i * 256))
            ;;
        esac
        i=$((i + 1))
    done
}

mapping_rows() {
    i=0
    while [ $i -lt 10 ]; do
        case $((i % 4)) in
        0)
            printf '11>11-bit MID|0x%X>0x%X|21|%d|%d\n' $((0x300 + i)) $((0x400 + i)) \
                $((0x300 + i)) $((0x400 + i))
            ;;
        1)
            printf '11>29-bit MID|0x%X>0x%08X|21|%d|%d\n' $((0x310 + i)) $((0x1ABC000 + i)) \
                $((0x310 + i)) $((0x1ABC000 + i | 0x80000000))
            ;;
        2)
            printf '29>29-bit MID|0x%08X>0x%08X|22|%d|%d\n' $((0x1CC0000 + i)) $((0x1DD0000 + i)) \
                $((0x1CC0000 + i)) $((0x1DD0000 + i))
            ;;
        3)
            printf '29>11-bit MID|0x%08X>0x%X|22|%d|%d\n' $((0x1EE0000 + i)) $((0x500 + i)) \
                $((0x1EE0000 + i)) $((0x500 + i | 0x80000000))
            ;;
        esac
        i=$((i + 1))
    done
}

# A counted text of the list file: its length as a 32-bit little-endian number, then the text.
counted() {
    printf "$(printf '\\%03o\\000\\000\\000' ${#1})"
    printf '%s' "$1"
}

# Writes a list file (TITLE is "Total Rows:" or "Total MIDs:") of the rows on stdin, padded
# with empty records to the 30 the utility always writes.
write_list() {
    title=$1
    {
        counted "$title"
        printf '\036\000\000\000'
        counted "Total Columns:"
        printf '\003\000\000\000'
        counted ""
        counted "CAN-ID Type"
        counted "Accepted IDs"
        n=0
        while IFS='|' read -r type id _; do
            n=$((n + 1))
            counted "$n"
            counted "$type"
            counted "$id"
        done
        while [ $n -lt 30 ]; do
            n=$((n + 1))
            counted "$n"
            counted ""
            counted ""
        done
    }
}

# What `read` prints for the rows on stdin: "NNN<tab>TYPE<tab>ID".
listed_rows() {
    n=0
    while IFS='|' read -r type id _; do
        n=$((n + 1))
        printf '%03d\t%s\t%s\n' $n "$type" "$id"
    done
}

# The download's frames for module port $1 and the rows on stdin: begin, a row each, end.
download_frames() {
    base=$(($1 << 8))
    begin=$2
    end=$3
    frame $((base + begin)) 0 0
    while IFS='|' read -r _ _ code low high; do
        frame $((base + code)) "$low" "$high"
    done
    frame $((base + end)) 0 0
}

filter_rows | write_list "Total Rows:" >"$tmp/filter.dat"
mapping_rows | write_list "Total MIDs:" >"$tmp/mapping.dat"

# --------------------------------------------------------------------------------------------
# Every CAN kind through every command that has its own frame shape

# kind_case NAME MODULE_PORT b6409ctl-options... (the simulated module's firmware is v1.05)
kind_case() {
    name=$1
    port=$2
    shift 2
    witness_start vcan0 "$tmp/$name.log"
    label="info"
    ctl "$@" info
    expect_ctl 0 "FW_Ver = v1.05"
    label="set-baud 83.333"
    ctl "$@" --module-port "$port" set-baud 83.333
    expect_ctl 0 "Set CAN$port User-defined Baudrate OK !"
    label="get-baud"
    ctl "$@" --module-port "$port" get-baud
    expect_ctl 0 "CAN$port User-defined Baudrate : 83.333 (Kbps)"
    label="set-listen-only 1 on module port 2"
    ctl "$@" --module-port 2 set-listen-only 1
    expect_ctl 0 "Enable CAN2 Listen-Only Mode OK !"
    for list in filter mapping; do
        case $list in filter) title=Filter ;; *) title=Mapping ;; esac
        label="download $list"
        ctl "$@" --module-port "$port" download "$tmp/$list.dat"
        expect_ctl 0 "Set CAN$port-ID $title OK !"
        label="read $list"
        ctl "$@" --module-port "$port" read $list
        [ "$out" = "$("${list}_rows" | listed_rows; echo "Get CAN$port-ID $title OK !")" ] ||
            problem "$list read back as '$(echo "$out" | tr '\n\t' '| ')'"
    done
    witness_stop

    {
        frame 0x001 0 0
        frame $((port << 8 | 0x05)) $((333 << 16 | 83)) 0
        frame $((port << 8 | 0x06)) 0 0
        frame 0x007 1 0
        filter_rows | download_frames "$port" 0x01 0x02
        frame $((port << 8 | 0x03)) 0 0
        mapping_rows | download_frames "$port" 0x07 0x08
        frame $((port << 8 | 0x09)) 0 0
    } >"$tmp/$name.expected"
    requests_of "$tmp/$name.log" >"$tmp/$name.requests"
    cmp -s "$tmp/$name.expected" "$tmp/$name.requests" ||
        problem "the bus carried other requests: $(diff "$tmp/$name.expected" \
            "$tmp/$name.requests" | grep '^[-+][^-+]' | head -n 3 | tr '\n' ' ')"
    # Every request was answered on its reply ID before the next one went out.
    unanswered=$(frames_of "$tmp/$name.log" | awk -F'#' '
        /^[0-3][0-9A-F][0-9A-F]#/ { if (pending != "") bad++; pending = $1; next }
        { if (pending != "" && $1 == sprintf("%03X", ("0x" pending) + 1024)) pending = "" }
        END { if (pending != "") bad++; print bad + 0 }')
    [ "$unanswered" = 0 ] || problem "$unanswered requests without their reply on the bus"

    echo "witness $name"
    cat "$tmp/$name.log"
    echo "end witness"
    verdict "$name: info, bit rate, listen-only, 20-row filter and 10-row mapping download" \
        "and read-back, $(wc -l <"$tmp/$name.requests") requests as candump saw them"
}

bus_add vcan0 || echo "FAIL - no vcan interface could be made"
sim_start vcan0
main_sim=$sim_pid

kind_case uhv1 1 --device uhv1 --port COM1 --can-if vcan0
kind_case uhv2-can1 2 --device uhv2 --port COM2 --can-port 1 --can-if vcan0
kind_case uhv2-can2 1 --device uhv2 --port COM2 --can-port 2 --can-if vcan0
kind_case pcm1 2 --device pcm1 --board 0 --can-if vcan0
kind_case pcc2 1 --device pcc2 --board 1 --can-port 2 --can-if vcan0
kind_case pcc4 2 --device pcc4 --board 3 --can-port 4 --can-if vcan0
# Waiting on the socket's readiness instead of the fixed pacing: the same frames, each answered.
kind_case uhv1-reply-paced 1 --device uhv1 --port COM1 --can-if vcan0 --pacing reply
kind_case pcc4-reply-paced 2 --device pcc4 --board 3 --can-port 4 --can-if vcan0 --pacing reply

# --------------------------------------------------------------------------------------------
# Interface names: the default mapping and the variables

# named_case TITLE INTERFACE [VAR=VALUE] b6409ctl-options...: `info` must cross INTERFACE alone.
named_case() {
    title=$1
    interface=$2
    shift 2
    witnesses=""
    for bus in $buses; do
        candump -L "$bus" >"$tmp/named-$bus.log" &
        witnesses="$witnesses $!"
    done
    sleep 0.2
    label="info"
    out=$(timeout 30 env "$@" info 2>&1)
    rc=$?
    expect_ctl 0 "FW_Ver = v1.05"
    sleep 0.1
    for pid in $witnesses; do stop_process "$pid"; done
    for bus in $buses; do
        seen=$(requests_of "$tmp/named-$bus.log" | tr '\n' ' ')
        if [ "$bus" = "$interface" ]; then
            [ "$seen" = "001#0000000000000000 " ] || problem "$bus carried '$seen'"
        else
            [ -z "$seen" ] || problem "$bus carried '$seen' as well"
        fi
    done
    verdict "$title"
}

# A module on each of these interfaces, and a witness on each during a case.
buses="can0 can1 uhv3b pcm2a pcc5d"
named_sims=""
for bus in $buses; do
    bus_add "$bus"
    sim_start "$bus"
    named_sims="$named_sims $sim_pid"
done

named_case "default mapping: UHV-2 CAN port 2 is can1" can1 \
    b6409ctl --device uhv2 --port COM4 --can-port 2
named_case "default mapping: PCC-4 board 7 CAN port 1 is can0" can0 \
    b6409ctl --device pcc4 --board 7 --can-port 1
named_case "B6409_UHV3_CAN2 names the UHV-2 on COM3, CAN port 2" uhv3b \
    B6409_UHV3_CAN2=uhv3b b6409ctl --device uhv2 --port COM3 --can-port 2
named_case "B6409_PCM2_CAN1 names the PCM-1 on board 2" pcm2a \
    B6409_PCM2_CAN1=pcm2a b6409ctl --device pcm1 --board 2
named_case "B6409_PCC5_CAN4 names the PCC-4 on board 5, CAN port 4" pcc5d \
    B6409_PCC5_CAN4=pcc5d b6409ctl --device pcc4 --board 5 --can-port 4

for pid in $named_sims; do stop_process "$pid"; done

# --------------------------------------------------------------------------------------------
# Faults

# fault_case TITLE STATUS FIRST-LINE b6409ctl-options...: the command fails with that status and
# message, promptly.
fault_case() {
    title=$1
    status=$2
    message=$3
    shift 3
    label="$*"
    started=$(now_cs)
    ctl "$@"
    took=$(($(now_cs) - started))
    expect_ctl "$status" "$message"
    [ $took -lt 500 ] || problem "took $took cs"
    verdict "$title: '$message', status $status"
}

# interface_faults INTERFACE TITLE UHV-MESSAGE PCM-MESSAGE PCC-4-PORT-3-MESSAGE REASON: every
# kind fails on INTERFACE with its own message, and the system's reason follows it.
interface_faults() {
    interface=$1
    what=$2
    reason=$6
    fault_case "$what, UHV-1" 1 "$3" --device uhv1 --can-if "$interface" info
    fault_case "$what, UHV-2 CAN port 2" 1 "$3" \
        --device uhv2 --can-port 2 --can-if "$interface" info
    fault_case "$what, PCM-1" 1 "$4" --device pcm1 --can-if "$interface" info
    fault_case "$what, PCC-4 CAN port 3" 1 "$5" \
        --device pcc4 --can-port 3 --can-if "$interface" info
    ctl --device pcc2 --can-if "$interface" info
    case $out in *"SocketCAN interface $interface: $reason"*) ;;
    *) problem "no reason given: '$(echo "$out" | tr '\n' '|')'" ;; esac
    verdict "$what: '$reason' follows the message"
}

# The interface down: a raw socket binds to it, but nothing can be sent.
ip link set vcan0 down
interface_faults vcan0 "vcan0 down" CAN_DevDisconnect_Err "Send CANMsg Error ! (ErrCode:11)" \
    "Send CANMsg Error ! (ErrCode:11)" "Network is down"
ip link set vcan0 up
# The module's socket saw the interface go down and come back; it serves on.
label="info after vcan0 came back"
ctl --device pcc2 --can-if vcan0 info
expect_ctl 0 "FW_Ver = v1.05"
verdict "vcan0 up again: the next command works"

# No such interface: nothing can be bound.
interface_faults vcan9 "missing interface" DEV_PortNotExist_Err "Init Board Error ! (ErrCode:4)" \
    "CAN Reset Port 3 Error ! (ErrCode:4)" "No such device"

# A module that never answers: twelve empty polls 100 ms apart after the 100 ms wait, or with
# reply pacing 1.3 s of waiting on the socket.
bus_add quiet0
sim_start quiet0 --silent
quiet_sim=$sim_pid
for device in uhv1 pcc2; do
    for pacing in fixed reply; do
        label="$device info, silent module, $pacing pacing"
        started=$(now_cs)
        ctl --device $device --can-if quiet0 --pacing $pacing info
        took=$(($(now_cs) - started))
        expect_ctl 1 "Config Command Timeout"
        [ $took -ge 120 ] && [ $took -lt 500 ] || problem "gave up after $took cs, not about 130"
        verdict "silent module, $device, $pacing pacing: 'Config Command Timeout' after $took cs"
    done
done
stop_process "$quiet_sim"

# inject INTERFACE FRAME b6409ctl-options...: runs b6409ctl against a module that waits 800 ms
# before its reply, and puts FRAME on the bus as soon as the request is there; $out and $rc
# as ctl sets them. Waiting for the request rather than for a time keeps a slow machine from
# sending the frame before it.
inject() {
    interface=$1
    injected=$2
    shift 2
    sim_start "$interface" --pause-before 1:800
    timeout 10 candump -n 1 "$interface,001:7FF" >/dev/null &
    request_seen=$!
    sleep 0.2
    timeout 30 b6409ctl "$@" >"$tmp/inject.out" 2>&1 &
    ctl_pid=$!
    wait $request_seen || problem "no request on $interface"
    cansend "$interface" "$injected" || problem "cansend could not send $injected"
    wait $ctl_pid
    rc=$?
    out=$(cat "$tmp/inject.out")
    # The module's late reply comes after its pause; a witness waits for it.
    sleep 0.8
    stop_process "$sim_pid"
}

# Another node's frame on the bus before the reply: the first frame after the request decides,
# so it is read as an error reply (its byte 0 is the code). 0x7E8 has the reply bit, which the
# module ignores.
bus_add other0
for device in uhv1 pcm1; do
    witness_start other0 "$tmp/other-$device.log"
    label="$device info, another node first"
    inject other0 7E8#04 --device $device --can-if other0 info
    expect_ctl 8 "ErrMsg= CmdNo_Err"
    witness_stop
    seen=$(frames_of "$tmp/other-$device.log" | tr '\n' ' ')
    [ "$seen" = "001#0000000000000000 7E8#04 401#0501000000000000 " ] ||
        problem "the bus carried '$seen'"
    verdict "another node's frame before the reply, $device: read as an error reply"
done

# An error frame before the reply: CAN_RAW hands error frames only to sockets that asked for
# them, so the reply still decides.
label="pcc2 info, error frame first"
inject other0 20000004#0000040000000000 --device pcc2 --can-if other0 info
expect_ctl 0 "FW_Ver = v1.05"
verdict "an error frame before the reply is not taken for it"

# A CAN FD frame before the reply, on an interface that carries them: a classic CAN_RAW socket
# is never handed one, so the reply still decides.
bus_add fd0 mtu 72
witness_start fd0 "$tmp/fd.log"
label="uhv1 info, CAN FD frame first"
inject fd0 7E8##004 --device uhv1 --can-if fd0 info
expect_ctl 0 "FW_Ver = v1.05"
witness_stop
grep -q " 7E8##.04" "$tmp/fd.log" ||
    problem "the CAN FD frame was not on the bus: $(tr "\n" " " <"$tmp/fd.log")"
verdict "a CAN FD frame before the reply is not taken for it"

# Other nodes flooding the bus during a 20-row list read: the read comes whole and right, or
# fails as an error reply (the flood's byte 0 is 1); a list is saved only when it came whole.
label="download before the flood"
ctl --device uhv1 --can-if vcan0 --module-port 2 download "$tmp/filter.dat"
expect_ctl 0 "Set CAN2-ID Filter OK !"
for flood in "uhv1 1" "pcc4 0"; do
    device=${flood% *}
    gap=${flood#* }
    witness_start vcan0 "$tmp/flood.log"
    cangen -I 7A5 -L 8 -D 0102030405060708 -g "$gap" vcan0 &
    flood_pid=$!
    sleep 0.2
    rm -f "$tmp/flood.dat"
    label="$device read filter in a flood"
    ctl --device $device --can-if vcan0 --module-port 2 read filter --save "$tmp/flood.dat"
    stop_process "$flood_pid"
    witness_stop
    flooded=$(grep -c ' 7A5#' "$tmp/flood.log")
    [ "$flooded" -gt 10 ] || problem "the flood put only $flooded frames on the bus"
    if [ $rc = 0 ]; then
        [ "$out" = "$(filter_rows | listed_rows; echo "Get CAN2-ID Filter OK !"
            echo "File Saved OK !!")" ] || problem "read as '$(echo "$out" | tr '\n\t' '| ')'"
        outcome="whole and right"
    else
        # A flood frame between the request and the end frame ends the read as an error
        # reply; the rows that came before it are shown, as the dialog's table keeps them.
        echo "$out" | sed '$d' >"$tmp/flood.rows"
        rows=$(wc -l <"$tmp/flood.rows")
        filter_rows | listed_rows | head -n "$rows" | cmp -s - "$tmp/flood.rows" ||
            problem "rows before the failure differ: '$(tr '\n\t' '| ' <"$tmp/flood.rows")'"
        [ "$rc" = 8 ] && [ "$(echo "$out" | tail -n 1)" = "ErrMsg= Process_Err" ] ||
            problem "status $rc and '$(echo "$out" | tail -n 1)', not 8 and 'ErrMsg= Process_Err'"
        [ ! -e "$tmp/flood.dat" ] || problem "a list was saved from a failed read"
        outcome="cut short after $rows rows and reported as an error reply, nothing saved"
    fi
    verdict "cangen flood (gap $gap ms, $flooded frames) during a 20-row read, $device: $outcome"
done

# The module gone during a download: the step in flight times out, the link's socket is
# closed, and the next command works once a module is back.
receivers() {
    grep -c ' vcan0 ' /proc/net/can/rcvlist_all
}
before=$(receivers)
# The module goes once the second row (a range, code 0x12) is on its way.
timeout 30 candump -n 1 vcan0,112:7FF >/dev/null &
row_seen=$!
sleep 0.2
timeout 30 b6409ctl --device uhv1 --can-if vcan0 download "$tmp/filter.dat" >"$tmp/kill.out" 2>&1 &
ctl_pid=$!
wait $row_seen || problem "the download did not get to its second row"
stop_process "$main_sim"
sleep 0.5
sockets=0
for descriptor in /proc/"$ctl_pid"/fd/*; do
    case $(readlink "$descriptor") in socket:*) sockets=$((sockets + 1)) ;; esac
done
[ "$sockets" -le 1 ] || problem "b6409ctl held $sockets sockets while waiting"
wait $ctl_pid
rc=$?
out=$(cat "$tmp/kill.out")
label="download, module killed"
expect_ctl 1 "Config Command Timeout"
after=$(receivers)
# Of the receivers on vcan0 only the module's own is gone: nothing of b6409ctl's is left.
[ "$after" -eq $((before - 1)) ] || problem "vcan0 had $before receivers before and $after after"
sim_start vcan0
main_sim=$sim_pid
label="info, module back"
ctl --device uhv1 --can-if vcan0 info
expect_ctl 0 "FW_Ver = v1.05"
verdict "module killed during a download: 'Config Command Timeout', socket closed," \
    "next command works"

stop_process "$main_sim"

for bus in $buses_made; do ip link del dev "$bus"; done
rm -rf "$tmp"
echo "$passed passed, $failed failed"
