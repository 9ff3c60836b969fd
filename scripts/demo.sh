#!/usr/bin/env bash
# Builds everything, starts the module simulator on a pseudo-terminal, points COM1 at it and
# runs the utility's main job on it: with no display, a scripted series of b6409ctl commands.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup-deps.sh
scripts/build.sh >/dev/null
bin=${B6409_BUILD_DIR:-build}/bin

workdir=$(mktemp -d)
cleanup() {
    [ -n "${sim_pid:-}" ] && kill "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null
    rm -rf "$workdir"
}
trap cleanup EXIT

"$bin/b6409-sim" --converter scv1 --baud 115200 >"$workdir/sim.out" 2>"$workdir/sim.err" &
sim_pid=$!
for _ in $(seq 50); do
    [ -s "$workdir/sim.out" ] && break
    sleep 0.1
done
pty=$(head -n 1 "$workdir/sim.out")
[ -n "$pty" ] || { echo "demo: the simulator did not start" >&2; cat "$workdir/sim.err" >&2; exit 1; }
export B6409_COM1=$pty
echo "Simulated SCV-1 converter with a B-6409 module on $pty (COM1)"
echo

# With a display, the utility itself: press "Send" with "Get ModInfo" for the firmware version.
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ -x "$bin/B6409_Utility" ]; then
    echo "Starting B6409_Utility on COM1; close it to end the demo."
    "$bin/B6409_Utility"
    exit 0
fi

run() {
    printf '$ b6409ctl %s\n' "$*"
    "$bin/b6409ctl" "$@" || true
    echo
}
run info
run set-baud 83.333
run get-baud
run --module-port 2 get-baud
run set-busoff 30
run get-busoff
run --module-port 2 set-listen-only 1
run --module-port 2 get-listen-only
run --module-port 2 download docs/examples/filter-list.dat
run --module-port 2 read filter
run --module-port 2 export docs/examples/mapping-list.dat "$workdir/frames.xls"
# The whole module as a profile, and the check that it still holds it.
run --pacing reply profile save "$workdir/module.json"
run --pacing reply profile diff "$workdir/module.json"
run reset
