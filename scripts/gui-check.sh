#!/usr/bin/env bash
# Drives the desktop utility the way a person does, on a virtual X display (Xvfb) with real
# pointer clicks and key presses (xdotool), against the module simulator on a pseudo-terminal.
# It checks the requests the simulated module received and the text of the message boxes, and
# renews the window pictures in docs/screenshots/.
#
# One line per check, "ok - ..." or "FAIL - ...", then "N passed, M failed"; the exit status
# is non-zero when a check failed. Built programs come from ${B6409_BUILD_DIR:-build}/bin.
#
# Until the last phase there is no window manager on the display: windows have no frames, so a
# window's picture is its client area; keyboard focus is given with XSetInputFocus; and a click
# on the close box is played by what a window manager sends for it, a WM_DELETE_WINDOW message
# to the window (xdotool's windowclose would destroy the window instead, which no user can do).
# The last phase starts one (openbox) and pictures the message boxes and the About box again,
# with the frame and title bar a user sees, checking that the title bar has room for the whole
# caption.
set -euo pipefail
cd "$(dirname "$0")/.."

bin=${B6409_BUILD_DIR:-build}/bin
shots=docs/screenshots
main_caption='B-6409 Utility v1.03'
box_caption='B6409_Utility'
about_caption='About B-6409_Utility'

work=$(mktemp -d)
com2=$work/com2           # the simulator's terminal, reached as COM2
passed=0
failed=0

# ----------------------------------------------------------------------------------------------
# Reporting

ok() {
    passed=$((passed + 1))
    echo "ok - $*"
}

fail() {
    failed=$((failed + 1))
    echo "FAIL - $*"
}

# Compares two texts; the check's name first. Differences are shown on one line each.
check_equal() {
    local name=$1 expected=$2 actual=$3
    if [ "$expected" = "$actual" ]; then
        ok "$name"
    else
        fail "$name: expected [$(echo "$expected" | paste -sd' ')]" \
            "got [$(echo "$actual" | paste -sd' ')]"
    fi
}

# ----------------------------------------------------------------------------------------------
# Waiting and time

now_ms() {
    echo $(($(date +%s%N) / 1000000))
}

# Runs the command every tenth of a second until it succeeds or the seconds are up. The bounds
# are generous: they only tell "it happened" from "it never will".
wait_until() {
    local seconds=$1
    shift
    local deadline=$(($(now_ms) + seconds * 1000))
    until "$@"; do
        [ "$(now_ms)" -lt "$deadline" ] || return 1
        sleep 0.1
    done
}

# ----------------------------------------------------------------------------------------------
# Processes. Each one is ended by its own id; the display goes last, taking with it any helper
# (xclip) still holding a selection on it.

xvfb_pid=""
sim_pid=""
app_pid=""

cleanup() {
    stop_utility
    stop_sim
    stop_window_manager
    if [ -n "$xvfb_pid" ]; then
        kill "$xvfb_pid" 2>/dev/null || true
        wait "$xvfb_pid" 2>/dev/null || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT

# True while the process runs; a child that ended but is not yet reaped counts as ended.
process_running() {
    local state
    state=$(awk '{print $3}' "/proc/$1/stat" 2>/dev/null) || return 1
    [ -n "$state" ] && [ "$state" != Z ]
}

# ----------------------------------------------------------------------------------------------
# The display

start_display() {
    # Xvfb picks a free display number itself and writes it to the descriptor it is given.
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp \
        3>"$work/display" >"$work/xvfb.log" 2>&1 &
    xvfb_pid=$!
    if ! wait_until 20 test -s "$work/display"; then
        echo "gui-check: Xvfb did not start" >&2
        cat "$work/xvfb.log" >&2
        exit 1
    fi
    DISPLAY=":$(head -n 1 "$work/display")"
    export DISPLAY
}

# Writes the window's picture to a PNG: a client window's is its client area only, a frame's
# has the title bar too. Stripped of the time stamps ImageMagick adds, so an unchanged window
# gives an unchanged file.
screenshot() {
    local window=$1 file=$2
    import -window "$window" -strip "png:$file"
}

# ----------------------------------------------------------------------------------------------
# The window manager of the last phase: openbox. It leaves a dialog the size the dialog asks
# for, and when a title bar is too narrow for the caption it shortens the caption in the middle
# ("B640... tility"), as desktop window managers do. Its theme and title font are pinned by a
# configuration of its own in the work folder, so the pictures do not follow the machine's
# settings, and it keeps its files in a home of its own there.

wm_pid=""
probe_pid=""

start_window_manager() {
    local home=$work/wm-home
    mkdir -p "$home"
    cat >"$work/openbox.xml" <<'EOF'
<?xml version="1.0" encoding="UTF-8"?>
<openbox_config xmlns="http://openbox.org/3.4/rc">
  <theme>
    <name>Clearlooks</name>
    <titleLayout>NLIMC</titleLayout>
    <font place="ActiveWindow">
      <name>DejaVu Sans</name><size>10</size><weight>bold</weight><slant>normal</slant>
    </font>
    <font place="InactiveWindow">
      <name>DejaVu Sans</name><size>10</size><weight>bold</weight><slant>normal</slant>
    </font>
  </theme>
</openbox_config>
EOF
    HOME=$home XDG_CONFIG_HOME=$home/.config XDG_CACHE_HOME=$home/.cache \
        openbox --config-file "$work/openbox.xml" >"$work/wm.log" 2>&1 &
    wm_pid=$!
    if ! wait_until 10 window_manager_running; then
        echo "gui-check: the window manager did not start" >&2
        cat "$work/wm.log" >&2
        exit 1
    fi
}

stop_window_manager() {
    if [ -n "$probe_pid" ]; then
        kill "$probe_pid" 2>/dev/null || true
        wait "$probe_pid" 2>/dev/null || true
        probe_pid=""
    fi
    [ -n "$wm_pid" ] || return 0
    kill "$wm_pid" 2>/dev/null || true
    wait "$wm_pid" 2>/dev/null || true
    wm_pid=""
}

window_manager_running() {
    xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'
}

# True when the window manager has given the window the focus (its title bar drawn active).
window_active() {
    local active
    active=$(xprop -root _NET_ACTIVE_WINDOW 2>/dev/null | awk '{print $NF}')
    [[ "$active" =~ ^0x[0-9a-fA-F]+$ ]] && [ "$((active))" -eq "$(($1))" ]
}

# Prints the frame the window manager put around a client window: its ancestor whose parent
# is the root window.
frame_of() {
    local id=$1 root parent
    while :; do
        read -r root parent < <(xwininfo -id "$id" -tree 2>/dev/null |
            awk '/Root window id:/ {r = $4} /Parent window id:/ {p = $4} END {print r, p}')
        [ -n "$parent" ] || return 1
        [ "$parent" = "$root" ] && break
        id=$parent
    done
    echo "$id"
}

# Writes the frame's part above the client window, its top border and title bar, as a PPM.
picture_title_bar() {
    local client=$1 file=$2 frame frame_y client_y width
    frame=$(frame_of "$client") || return 1
    read -r frame_y width < <(xwininfo -id "$frame" |
        awk '/Absolute upper-left Y:/ {y = $NF} /Width:/ {w = $NF} END {print y, w}')
    client_y=$(xwininfo -id "$client" | awk '/Absolute upper-left Y:/ {print $NF}')
    [ "$client_y" -gt "$frame_y" ] || return 1
    import -window "$frame" -crop "${width}x$((client_y - frame_y))+0+0" -depth 8 "ppm:$file"
}

# True when a title bar shows the caption whole: the caption's pixels, as the window manager
# draws it with room to spare (the reference title bar), appear unchanged somewhere in it. A
# shortened caption ("B640... tility") has other pixels, whatever the font. Both title bars
# must be drawn in the same (active) state; the theme's title background changes only from
# top to bottom, so the caption's pixels do not depend on where it stands.
caption_whole() {
    python3 - "$1" "$2" <<'EOF'
import sys

def read_ppm(path):
    data = open(path, "rb").read()
    # P6 header: magic, width, height, maximum value, one whitespace, then the pixels.
    fields, at = [], 0
    while len(fields) < 4:
        while data[at:at + 1].isspace(): at += 1
        start = at
        while not data[at:at + 1].isspace(): at += 1
        fields.append(data[start:at])
    width, height = int(fields[1]), int(fields[2])
    pixels = data[at + 1:]
    return width, [pixels[3 * width * y:3 * width * (y + 1)] for y in range(height)]

def column(rows, x):
    return [row[3 * x:3 * x + 3] for row in rows]

# The reference is wide and its caption centred: its first quarter, after the window icon, is
# bare title background, and the caption lies within the middle half.
width, reference = read_ppm(sys.argv[1])
background = column(reference, width // 4)
ink = [x for x in range(width // 4, 3 * width // 4) if column(reference, x) != background]
if not ink:
    sys.exit(2)  # no caption drawn at all
# Two columns of background on either side: the caption alone, not the start of a longer one.
left, right = ink[0] - 2, ink[-1] + 3
caption = [row[3 * left:3 * right] for row in reference]
span = right - left

width, bar = read_ppm(sys.argv[2])
if len(bar) != len(reference):
    sys.exit(1)
for x in range(width - span + 1):
    if all(row[3 * x:3 * (x + span)] == part for row, part in zip(bar, caption)):
        sys.exit(0)
sys.exit(1)
EOF
}

# The caption as the window manager draws it with room to spare: the title bar of a wide
# stand-in window (xmessage) with the message boxes' caption, focused. Then the same window
# made as narrow as the boxes once were, where the caption must come out shortened, so that
# the check above is seen to tell the two apart.
picture_caption_references() {
    local probe
    xmessage -name gui-check-caption -title "$box_caption" -geometry 900x40+0+0 " " \
        >/dev/null 2>&1 &
    probe_pid=$!
    probe=$(timeout 10 xdotool search --sync --onlyvisible --classname '^gui-check-caption$' |
        head -n 1) || true
    [ -n "$probe" ] || return 1
    wait_until 5 window_active "$probe" || return 1
    picture_title_bar "$probe" "$work/caption-wide.ppm" || return 1
    xdotool windowsize --sync "$probe" 190 40
    wait_until 5 window_active "$probe" || return 1
    picture_title_bar "$probe" "$work/caption-narrow.ppm" || return 1
    kill "$probe_pid" 2>/dev/null || true
    wait "$probe_pid" 2>/dev/null || true
    probe_pid=""
}

# ----------------------------------------------------------------------------------------------
# The simulator. Its output is the terminal path, then one line per request it received.

trace_mark=0

start_sim() {
    "$bin/b6409-sim" --trace --link "$com2" "$@" >"$work/trace" 2>"$work/sim.err" &
    sim_pid=$!
    if ! wait_until 10 test -s "$work/trace"; then
        echo "gui-check: the simulator did not start" >&2
        cat "$work/sim.err" >&2
        exit 1
    fi
    trace_mark=$(wc -l <"$work/trace")
}

stop_sim() {
    [ -n "$sim_pid" ] || return 0
    kill "$sim_pid" 2>/dev/null || true
    wait "$sim_pid" 2>/dev/null || true
    sim_pid=""
}

# Starts a new stretch of the trace: the requests of the next action.
mark_trace() {
    trace_mark=$(wc -l <"$work/trace")
}

new_requests() {
    tail -n "+$((trace_mark + 1))" "$work/trace"
}

new_request_count() {
    new_requests | wc -l
}

has_requests() {
    [ "$(new_request_count)" -ge "$1" ]
}

# ----------------------------------------------------------------------------------------------
# The utility. Each run gets its own runtime folder (the one-copy lock) and home (remembered
# file-dialog folders), so runs never see each other. COM1 leads nowhere: only COM2 has a
# converter behind it.

window=""
app_log=""
declare -A ctl_x ctl_y ctl_w ctl_h

start_utility() {
    local run
    run=$(mktemp -d -p "$work" run.XXXX)
    mkdir -m 700 "$run/runtime" "$run/home"
    app_log=$run/stderr
    env XDG_RUNTIME_DIR="$run/runtime" HOME="$run/home" QT_QPA_PLATFORM=xcb \
        B6409_DUMP_GEOMETRY=1 B6409_COM1="$work/no-such-port" B6409_COM2="$com2" \
        "$bin/B6409_Utility" 2>"$app_log" &
    app_pid=$!
    window=$(timeout 20 xdotool search --sync --all --onlyvisible --pid "$app_pid" \
        --name "^${main_caption}\$" | head -n 1) || true
    if [ -z "$window" ]; then
        echo "gui-check: the utility's window did not show" >&2
        cat "$app_log" >&2
        exit 1
    fi
    xdotool windowmove --sync "$window" 0 0
    read_geometry "$app_log"
    focus "$window"
}

# The utility prints "id x y w h" per control at start (B6409_DUMP_GEOMETRY): places in the
# window's client area, so clicks follow the layout wherever fonts or styles put things.
read_geometry() {
    local log=$1 id x y w h
    if ! wait_until 10 grep -q '^1035 ' "$log"; then
        echo "gui-check: the utility printed no control geometry" >&2
        cat "$log" >&2
        exit 1
    fi
    ctl_x=() ctl_y=() ctl_w=() ctl_h=()
    while read -r id x y w h; do
        ctl_x[$id]=$x ctl_y[$id]=$y ctl_w[$id]=$w ctl_h[$id]=$h
    done < <(grep -E '^[0-9]+ -?[0-9]+ -?[0-9]+ [0-9]+ [0-9]+$' "$log")
}

utility_running() {
    [ -n "$app_pid" ] && process_running "$app_pid"
}

# Waits for the utility to end by itself; true when it did within the seconds given.
wait_utility_end() {
    local seconds=$1
    if wait_until "$seconds" eval '! utility_running'; then
        wait "$app_pid" 2>/dev/null || true
        app_pid=""
        return 0
    fi
    return 1
}

stop_utility() {
    [ -n "$app_pid" ] || return 0
    kill "$app_pid" 2>/dev/null || true
    wait "$app_pid" 2>/dev/null || true
    app_pid=""
}

# ----------------------------------------------------------------------------------------------
# Windows of the utility: the main window, message boxes (caption B6409_Utility), dialogs, and
# popups (drop-down lists and menus, which bypass the window manager and are told apart so).

# The utility's visible top-level windows.
app_windows() {
    xdotool search --onlyvisible --pid "$app_pid" 2>/dev/null || true
}

is_popup() {
    xwininfo -id "$1" 2>/dev/null | grep -q 'Override Redirect State: yes'
}

# The first visible window whose caption matches the expression and that is not a popup.
dialog_named() {
    local pattern=$1 id
    for id in $(app_windows); do
        is_popup "$id" && continue
        [[ "$(xdotool getwindowname "$id" 2>/dev/null)" =~ $pattern ]] && { echo "$id"; return 0; }
    done
    return 1
}

popup_open() {
    local id
    for id in $(app_windows); do
        is_popup "$id" && return 0
    done
    return 1
}

message_box() {
    dialog_named "^${box_caption}\$"
}

# Waits for a dialog with the caption and prints its id.
wait_dialog() {
    local caption=$1 seconds=${2:-10}
    wait_until "$seconds" dialog_named "$caption" >/dev/null || return 1
    dialog_named "$caption"
}

# Prints "x y width height" of a top-level window's client area on the screen. From xwininfo:
# xdotool's own geometry is the place within the frame once a window manager has framed it.
window_origin() {
    xwininfo -id "$1" | awk '/Absolute upper-left X:/ {x = $NF} /Absolute upper-left Y:/ {y = $NF}
        /Width:/ {w = $NF} /Height:/ {h = $NF} END {print x, y, w, h}'
}

focus() {
    timeout 5 xdotool windowfocus --sync "$1" || true
}

# Sends the window manager's close request, as a click on the window's close box would.
close_window() {
    python3 - "$1" <<'EOF'
import ctypes, sys

x11 = ctypes.cdll.LoadLibrary("libX11.so.6")
x11.XOpenDisplay.restype = ctypes.c_void_p
x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
x11.XInternAtom.restype = ctypes.c_ulong
x11.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
x11.XCloseDisplay.argtypes = [ctypes.c_void_p]

class ClientMessage(ctypes.Structure):  # XClientMessageEvent
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                ("display", ctypes.c_void_p), ("window", ctypes.c_ulong),
                ("message_type", ctypes.c_ulong), ("format", ctypes.c_int),
                ("data", ctypes.c_long * 5)]

class Event(ctypes.Union):  # XEvent: any event fits in 24 longs
    _fields_ = [("xclient", ClientMessage), ("pad", ctypes.c_long * 24)]

x11.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long,
                           ctypes.POINTER(Event)]
window = int(sys.argv[1])
display = x11.XOpenDisplay(None)
event = Event()
event.xclient.type = 33  # ClientMessage
event.xclient.window = window
event.xclient.message_type = x11.XInternAtom(display, b"WM_PROTOCOLS", 0)
event.xclient.format = 32
event.xclient.data[0] = x11.XInternAtom(display, b"WM_DELETE_WINDOW", 0)
event.xclient.data[1] = 0  # CurrentTime
# No event mask: the event goes to the client that made the window, as a window manager sends it.
x11.XSendEvent(display, window, 0, 0, ctypes.byref(event))
x11.XCloseDisplay(display)  # flushes the request
EOF
}

# ----------------------------------------------------------------------------------------------
# Pointer and keys on the main window's controls.

# Clicks a control at a point given in hundredths of its width and height (the centre unless
# told), with the button given (1 unless told).
click_control() {
    local id=$1 fx=${2:-50} fy=${3:-50} button=${4:-1} wx wy rest
    read -r wx wy rest < <(window_origin "$window")
    [ -n "${ctl_x[$id]:-}" ] || { echo "gui-check: no control $id on the window" >&2; exit 1; }
    focus "$window"
    xdotool mousemove --sync $((wx + ctl_x[$id] + ctl_w[$id] * fx / 100)) \
        $((wy + ctl_y[$id] + ctl_h[$id] * fy / 100)) click "$button"
}

click_button() {
    click_control "$1"
}

# Replaces an edit field's text as a person does: click into it, select all, type.
type_into() {
    local id=$1 text=$2
    click_control "$id"
    xdotool key ctrl+a
    xdotool type --delay 30 "$text"
}

# Opens a drop-down list with a click on its arrow, at the right end, and moves down the given
# number of entries from the current one; Return takes the entry.
choose_entry() {
    local id=$1 steps=$2 k
    click_control "$id" 92 50
    if ! wait_until 5 popup_open; then
        fail "the drop-down list of control $id did not open"
        return 1
    fi
    for ((k = 0; k < steps; k++)); do xdotool key Down; done
    xdotool key Return
    wait_until 5 eval '! popup_open' || true
}

press() {
    focus "$window"
    xdotool key "$@"
}

# ----------------------------------------------------------------------------------------------
# Message boxes. The text is read as a person copies it: a click on the text, Ctrl+A, Ctrl+C,
# and the clipboard read back. The clipboard is set to a placeholder first, so an old text is
# never taken for the box's.

read_box_text() {
    local box=$1 bx by bw bh point
    read -r bx by bw bh < <(window_origin "$box")
    focus "$box"
    # The text sits in the upper part of the box, over the button row; the first point that
    # lands on it wins.
    local text fx fy
    for point in "50 25" "60 30" "40 20" "70 35"; do
        read -r fx fy <<<"$point"
        # xclip keeps serving the placeholder from the background until the copy takes over.
        printf 'gui-check placeholder' | xclip -selection clipboard -i >/dev/null 2>&1
        xdotool mousemove --sync $((bx + bw * fx / 100)) $((by + bh * fy / 100)) click 1
        xdotool key ctrl+a ctrl+c
        sleep 0.2
        text=$(timeout 3 xclip -o -selection clipboard 2>/dev/null || true)
        if [ -n "$text" ] && [ "$text" != 'gui-check placeholder' ]; then
            echo "$text"
            return 0
        fi
    done
    echo "(unreadable)"
}

# Takes the message box with Return, its default OK button, and waits for it to go.
dismiss_box() {
    local box=$1
    focus "$box"
    xdotool key Return
    wait_until 5 eval "! xwininfo -id $box 2>/dev/null | grep -q IsViewable" || true
}

# Waits for a message box, optionally pictures it, reads and dismisses it, prints its text.
answer_box() {
    local seconds=${1:-10} picture=${2:-} box
    box=$(wait_dialog "^${box_caption}\$" "$seconds") || { echo "(no message box)"; return 0; }
    [ -z "$picture" ] || screenshot "$box" "$picture"
    read_box_text "$box"
    dismiss_box "$box"
}

# A file dialog: the file name field has the focus; the path is typed and taken with Return.
enter_file_name() {
    local title=$1 path=$2 dialog
    dialog=$(wait_dialog "$title") || { echo "(no file dialog '$title')"; return 1; }
    focus "$dialog"
    xdotool type --delay 10 "$path"
    xdotool key Return
    wait_until 5 eval "! xwininfo -id $dialog 2>/dev/null | grep -q IsViewable" || true
}

# ----------------------------------------------------------------------------------------------
# The ID table. Row places are measured in the picture: a thin column down the left margin of
# the "No" cells, where runs of cell colour (white, or the selection's blue) are the rows.

# Prints the window y of the middle of the table's n-th row.
table_row_middle() {
    local n=$1
    import -window "$window" -depth 8 \
        -crop "1x${ctl_h[1022]}+$((ctl_x[1022] + 3))+${ctl_y[1022]}" ppm:- |
        python3 -c '
import sys
data = sys.stdin.buffer.read()
# P6 header: magic, width, height, maximum value, one whitespace, then the pixels.
fields, at = [], 0
while len(fields) < 4:
    while data[at:at + 1].isspace(): at += 1
    start = at
    while not data[at:at + 1].isspace(): at += 1
    fields.append(data[start:at])
pixels = data[at + 1:]
def is_cell(y):
    r, g, b = pixels[3 * y:3 * y + 3]
    return (r, g, b) == (255, 255, 255) or (b > r + 60 and b > 150)
runs, start = [], None
for y in range(int(fields[2])):
    if is_cell(y) and start is None: start = y
    if not is_cell(y) and start is not None:
        if y - start >= 6: runs.append((start, y))
        start = None
n = int(sys.argv[1])
if len(runs) < n: sys.exit(1)
print((runs[n - 1][0] + runs[n - 1][1]) // 2)
' "$n" | while read -r y; do echo $((ctl_y[1022] + y)); done
}

click_table_row() {
    local n=$1 y wx wy rest
    y=$(table_row_middle "$n") || return 1
    [ -n "$y" ] || return 1
    read -r wx wy rest < <(window_origin "$window")
    focus "$window"
    xdotool mousemove --sync $((wx + ctl_x[1022] + 60)) $((wy + y)) click 1
}

# ----------------------------------------------------------------------------------------------
# List files (the .dat format): counted strings (a 32-bit little-endian length, then the bytes)
# and 32-bit counts: the title, the record count, the column titles, and three cells per record.

# Writes a filter list of n single 11-bit IDs, 0x000 upwards.
write_filter_list() {
    python3 - "$1" "$2" <<'EOF'
import struct, sys
path, rows = sys.argv[1], int(sys.argv[2])
def counted(text):
    data = text.encode()
    return struct.pack("<I", len(data)) + data
records = max(30, rows + 1)  # at least thirty records, and one empty after the rows
out = counted("Total Rows:") + struct.pack("<I", records)
out += counted("Total Columns:") + struct.pack("<I", 3)
out += counted("") + counted("CAN-ID Type") + counted("Accepted IDs")
for k in range(1, records + 1):
    filled = k <= rows
    out += counted(str(k))
    out += counted("11-bit SID" if filled else "") + counted("0x%03X" % (k - 1) if filled else "")
open(path, "wb").write(out)
EOF
}

# Prints a list file's rows as "type id" lines.
list_file_rows() {
    python3 - "$1" <<'EOF'
import struct, sys
data = open(sys.argv[1], "rb").read()
at = 0
def integer():
    global at
    at += 4
    return struct.unpack_from("<I", data, at - 4)[0]
def counted():
    global at
    n = integer()
    at += n
    return data[at - n:at].decode()
counted(); records = integer(); counted(); integer()
counted(); counted(); counted()
for _ in range(records):
    counted()
    kind, ident = counted(), counted()
    if kind: print(kind, ident)
EOF
}

# ----------------------------------------------------------------------------------------------
# Request frames as the simulator traces them: "t", the 11-bit identifier in three hex digits
# (module port in the first: 1 or 2), the length digit, the data bytes in hex.

frame_info='t00180000000000000000'               # Get ModInfo, on no port
frame_can2_accept_all='t20480000000000000000'    # an empty filter list: accept every ID
frame_can2_get_baud='t20680000000000000000'      # Get Module Data: user-defined bit rate
frame_can2_filter_begin='t20180000000000000000'
frame_can2_filter_end='t20280000000000000000'
frame_can2_single_100='t211800010000FFFFFFFF'    # one single 11-bit ID 0x100; no second value

# ----------------------------------------------------------------------------------------------
# The checks

# The start state's picture, and the interface set to COM2: the only port with a converter.
check_info_on_com2() {
    screenshot "$window" "$shots/dialog-start.png"
    choose_entry 1010 1 || return 0           # Dev_Port: COM1 -> COM2
    mark_trace
    click_button 1029                         # Send, with "Get ModInfo" chosen at start
    local text
    text=$(answer_box 15 "$shots/message-box.png")
    check_equal "Dev_Port COM2 reaches the converter on B6409_COM2: Get ModInfo request" \
        "$frame_info" "$(new_requests)"
    check_equal "Get ModInfo on COM2: the box says the firmware version" "FW_Ver = v1.05" "$text"
}

check_can2_commands() {
    choose_entry 1012 1 || return 0           # CAN Controller: CAN1 -> CAN2
    mark_trace
    click_button 1024                         # Set CAN Accepted IDs, the table empty
    local text
    text=$(answer_box 15)
    check_equal "CAN2: an empty list download sends the accept-all request (box: $text)" \
        "$frame_can2_accept_all" "$(new_requests)"

    click_control 1030                        # Get Module Data
    mark_trace
    click_button 1029                         # Send, the selector on the user-defined bit rate
    text=$(answer_box 15)
    check_equal "CAN2: Get Module Data sends the bit rate query (box: $text)" \
        "$frame_can2_get_baud" "$(new_requests)"
}

check_delete_rows() {
    local id
    for id in 100 200 300; do
        type_into 1015 "$id"                  # the single ID edit, 11-bit chosen at start
        click_button 1016                     # its Add
    done
    if ! click_table_row 2; then
        fail "three single IDs added: the table shows no second row"
        return 0
    fi
    click_button 1032                         # Delete Row
    click_button 1032
    mark_trace
    click_button 1024                         # Set CAN Accepted IDs
    local text
    text=$(answer_box 30)
    check_equal "rows 100 200 300, row 2 deleted twice: the download sends begin, 0x100, end" \
        "$(printf '%s\n' "$frame_can2_filter_begin" "$frame_can2_single_100" \
            "$frame_can2_filter_end")" "$(new_requests)"
    check_equal "the download's box" "Set CAN2-ID Filter OK !" "$text"
}

check_read_save_load() {
    local saved=$work/read-back.dat again=$work/loaded-again.dat text box
    click_button 1031                         # Clear Table, so only the read fills it
    click_button 1023                         # Get CAN Accepted IDs
    text=$(answer_box 30)
    click_button 1033                         # Save File
    enter_file_name '^Save ' "$saved" || true
    local saved_text
    saved_text=$(answer_box 10)
    if [ -f "$saved" ]; then
        check_equal "the read list, saved (read box: $text; save box: $saved_text)" \
            "11-bit SID 0x100" "$(list_file_rows "$saved")"
    else
        fail "Save File wrote no file at $saved (read box: $text; save box: $saved_text)"
        return 0
    fi
    click_button 1031                         # Clear Table
    click_button 1034                         # Load File
    enter_file_name '^Load ' "$saved" || true
    # A good file loads silently; a box here is an error.
    if box=$(wait_dialog "^${box_caption}\$" 2); then
        fail "Load File showed a box: $(read_box_text "$box")"
        dismiss_box "$box"
        return 0
    fi
    click_button 1033                         # Save File again: what the table holds now
    enter_file_name '^Save ' "$again" || true
    answer_box 10 >/dev/null
    if [ -f "$again" ]; then
        check_equal "Clear Table then Load File brings the table back" \
            "$(list_file_rows "$saved")" "$(list_file_rows "$again")"
    else
        fail "the second Save File wrote no file at $again"
    fi
}

# A download pictured half way, the bar moving. A fresh module holds back its reply to the
# 31st row (its 32nd frame, after the begin step's) for a moment, well inside the utility's
# patience for a reply, so every run pictures the same moment.
picture_download() {
    local list=$work/sixty.dat rows=60 text
    write_filter_list "$list" "$rows"
    stop_sim
    start_sim --pause-before 32:800
    click_button 1034
    enter_file_name '^Load ' "$list" || true
    mark_trace
    click_button 1024
    if wait_until 60 has_requests 32; then
        screenshot "$window" "$shots/dialog-download.png"
    else
        fail "the $rows-row download did not reach its 31st row"
    fi
    text=$(answer_box 120)
    check_equal "a $rows-row download pictured half way ends with its box" \
        "Set CAN2-ID Filter OK !" "$text"
    stop_sim
    start_sim
}

# Opens the About box from the window's context menu; its id goes to about_box. (Not printed:
# the failures it reports must count, so it cannot run in a subshell.)
about_box=""

open_about_box() {
    # An empty spot: the window's left margin, beside the list's box.
    local wx wy rest
    about_box=""
    read -r wx wy rest < <(window_origin "$window")
    xdotool mousemove --sync $((wx + 2)) $((wy + ctl_y[1022] + ctl_h[1022] / 2)) click 3
    if ! wait_until 5 popup_open; then
        fail "right-click on an empty spot opened no context menu"
        return 1
    fi
    xdotool key a                             # the entry's mnemonic, "(&A)"
    if ! about_box=$(wait_dialog "^${about_caption}\$"); then
        fail "the context menu's About entry opened no \"$about_caption\" box"
        return 1
    fi
}

# Takes the About box with Return, its default button Exit, and waits for it to go.
close_about_box() {
    focus "$1"
    xdotool key Return
    wait_until 5 eval "! dialog_named '^${about_caption}\$' >/dev/null" || true
}

check_about_box() {
    open_about_box || return 0
    screenshot "$about_box" "$shots/about-box.png"
    close_about_box "$about_box"
    ok "the context menu's About entry opens \"$about_caption\""
}

# Compares the fresh module with a profile that wants another bus-off time, from the context
# menu: the entry by its mnemonic, the file by its typed name, the differences in one box.
check_profile_compare() {
    local profile=$work/line4.json wx wy rest id text
    cat >"$profile" <<'EOF'
{
  "format": 1,
  "busOffSeconds": 10,
  "ports": [
    {"userBaud": null, "listenOnly": false, "filter": [], "mapping": []},
    {"userBaud": null, "listenOnly": false, "filter": [], "mapping": []}
  ]
}
EOF
    read -r wx wy rest < <(window_origin "$window")
    xdotool mousemove --sync $((wx + 2)) $((wy + ctl_y[1022] + ctl_h[1022] / 2)) click 3
    if ! wait_until 5 popup_open; then
        fail "right-click on an empty spot opened no context menu"
        return 0
    fi
    for id in $(app_windows); do
        is_popup "$id" && screenshot "$id" "$shots/context-menu.png"
    done
    xdotool key c                             # "&Compare Module with Profile..."
    enter_file_name '^Compare ' "$profile" || true
    text=$(answer_box 15 "$shots/message-box-profile.png")
    check_equal "the context menu compares the module with a profile" \
        "bus-off time: differs: module has 0 s, profile has 10 s" "$text"
}

# A fresh module answers its first request with error 3: the box names it.
picture_error_box() {
    local text
    stop_sim
    start_sim --error-at 1:3
    click_control 1025                        # Get ModInfo
    click_button 1029
    text=$(answer_box 15 "$shots/message-box-error.png")
    check_equal "a module error shows its name" "ErrMsg= CAN_FIDRec_Err" "$text"
    stop_sim
    start_sim
}

check_close_when_idle() {
    close_window "$window"
    if wait_utility_end 3; then
        ok "the close box ends the idle utility"
    else
        fail "the close box left the idle utility running"
        stop_utility
    fi
}

# Starts a 1,000-row download on COM2/CAN2 and ends the window the given way (escape|close)
# while a row is in flight: the program ends soon after that row, leaving no box, and the
# download stops without its end step, which a line on stderr owns up to.
check_end_during_download() {
    local how=$1 list=$work/thousand.dat rows=1000 started took sent box text="no box"
    [ -f "$list" ] || write_filter_list "$list" "$rows"
    start_utility
    choose_entry 1010 1 || return 0
    choose_entry 1012 1 || return 0
    click_button 1034
    enter_file_name '^Load ' "$list" || true
    mark_trace
    click_button 1024
    if ! wait_until 60 has_requests 21; then
        fail "$how during a download: the download did not start"
        stop_utility
        return 0
    fi
    started=$(now_ms)
    if [ "$how" = escape ]; then
        press Escape
    else
        close_window "$window"
    fi
    if ! wait_utility_end 3; then
        if box=$(message_box); then text="box: $(read_box_text "$box")"; fi
        fail "$how during a $rows-row download: still running 3 s later ($text;" \
            "$(($(new_request_count) - 1)) rows sent)"
        stop_utility
        return 0
    fi
    took=$(($(now_ms) - started))
    sent=$(($(new_request_count) - 1))
    ok "$how during a $rows-row download ends the utility, no box left ($took ms; $sent rows sent)"
    if new_requests | grep -qx "$frame_can2_filter_end"; then
        fail "$how during a download: the end step was sent all the same"
    elif ! grep -q 'incomplete' "$app_log"; then
        fail "$how during a download: stopped without its end step, but no line on stderr says so"
    else
        ok "$how during a download: stopped without its end step; stderr says so"
    fi
}

# ----------------------------------------------------------------------------------------------
# The last phase: a window manager frames the windows. The firmware version box, the module
# error box and the About box are pictured again in their frames, as a user sees them, and each
# message box's title bar must show the caption whole, not shortened for want of room.

caption_trouble=()

box_caption_whole() {
    picture_title_bar "$1" "$work/box-title.ppm" &&
        caption_whole "$work/caption-wide.ppm" "$work/box-title.ppm"
}

# Pictures the window active, in its frame, with the pointer off it so no button shows lit.
framed_screenshot() {
    local client=$1 file=$2 frame
    wait_until 5 window_active "$client" || true
    xdotool mousemove --sync 1000 740 2>/dev/null || true
    frame=$(frame_of "$client") || return 1
    screenshot "$frame" "$file"
}

# Waits for a message box, pictures it in its frame, checks its title bar and its text, and
# takes it with Return.
framed_box() {
    local name=$1 picture=$2 expected=$3 box text width
    if ! box=$(wait_dialog "^${box_caption}\$" 15); then
        caption_trouble+=("no $name box showed")
        return 0
    fi
    framed_screenshot "$box" "$shots/$picture" || caption_trouble+=("the $name box has no frame")
    if ! wait_until 3 box_caption_whole "$box"; then
        width=$(window_origin "$box" | awk '{print $3}')
        caption_trouble+=("the $name box, $width px wide, shows it shortened")
    fi
    text=$(read_box_text "$box")
    [ "$text" = "$expected" ] || caption_trouble+=("the $name box says [$text], not [$expected]")
    dismiss_box "$box"
}

picture_framed_windows() {
    caption_trouble=()
    start_window_manager
    if ! picture_caption_references; then
        fail "message box caption is whole: the window manager's title bars could not be pictured"
        stop_window_manager
        return 0
    fi
    local status=0
    caption_whole "$work/caption-wide.ppm" "$work/caption-narrow.ppm" || status=$?
    if [ "$status" -ne 1 ]; then
        fail "message box caption is whole: the check cannot tell; a narrow title bar's caption" \
            "$([ "$status" -eq 0 ] && echo 'counts as whole' || echo 'was not drawn at all')"
        stop_window_manager
        return 0
    fi

    start_utility
    if choose_entry 1010 1; then              # Dev_Port: COM1 -> COM2
        click_button 1029                     # Send, with "Get ModInfo" chosen at start
        framed_box "firmware version" message-box.png "FW_Ver = v1.05"
        stop_sim
        start_sim --error-at 1:3
        click_button 1029
        framed_box "module error" message-box-error.png "ErrMsg= CAN_FIDRec_Err"
        stop_sim
        start_sim
        if open_about_box; then
            framed_screenshot "$about_box" "$shots/about-box.png" || true
            close_about_box "$about_box"
        fi
    else
        caption_trouble+=("COM2 could not be chosen")
    fi
    close_window "$window"
    wait_utility_end 5 || stop_utility
    stop_window_manager

    if [ ${#caption_trouble[@]} -eq 0 ]; then
        ok "message box caption is whole"
    else
        local trouble
        trouble=$(printf '%s; ' "${caption_trouble[@]}")
        fail "message box caption is whole: ${trouble%; }"
    fi
}

main() {
    scripts/setup-deps.sh
    scripts/build.sh --target B6409_Utility b6409-sim >/dev/null
    mkdir -p "$shots"
    start_display
    start_sim

    start_utility
    check_info_on_com2
    check_can2_commands
    check_delete_rows
    check_read_save_load
    picture_download
    picture_error_box
    check_about_box
    check_profile_compare
    check_close_when_idle

    check_end_during_download escape
    check_end_during_download close

    picture_framed_windows

    echo "$passed passed, $failed failed"
    [ "$failed" -eq 0 ]
}

main
