#!/usr/bin/env bash
# Installs what is missing, builds, starts zenta-stand with the demo content on 127.0.0.1 and
# starts the client logged in to it as the demo operator. Closing the client stops the server.
#   scripts/demo.sh              install, build in build/, run
#   scripts/demo.sh --no-build   run the programs already built in $ZENTA_BUILD_DIR (default build/)
# Environment: ZENTA_DEMO_DIR (working folder, default ~/.local/share/zenta-demo),
#              ZENTA_DEMO_PORT (server port, default: any free port).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
build=${ZENTA_BUILD_DIR:-build}

if [ "${1:-}" != "--no-build" ]; then
    "$root/scripts/install-deps.sh"
    cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo
    cmake --build "$build" -j"$(nproc)"
fi
bin=$(cd "$build/bin" && pwd)

work=${ZENTA_DEMO_DIR:-${XDG_DATA_HOME:-$HOME/.local/share}/zenta-demo}
mkdir -p "$work"
log="$work/zenta-stand.log"
: >"$log"

# The database keeps its history between runs; it is created with six hours of history on first use.
# One grid disturbance every 10 minutes on average, so that the units visibly answer (or fall short).
"$bin/zenta-stand" --db "$work/stand.sqlite" --listen 127.0.0.1 --port "${ZENTA_DEMO_PORT:-0}" \
    --backfill-hours 6 --disturb-every 600 >>"$log" 2>&1 &
stand_pid=$!
stop_stand() {
    if kill -0 "$stand_pid" 2>/dev/null; then
        kill "$stand_pid" 2>/dev/null || true
        wait "$stand_pid" 2>/dev/null || true
    fi
}
trap stop_stand EXIT
trap 'exit 130' INT TERM

echo "Starting zenta-stand (log: $log) ..."
address=""
for _ in $(seq 1 1200); do
    address=$(sed -n 's/.*listening on \([0-9.]*:[0-9]*\).*/\1/p' "$log" | head -n 1)
    [ -n "$address" ] && break
    if ! kill -0 "$stand_pid" 2>/dev/null; then
        echo "zenta-stand did not start:" >&2
        cat "$log" >&2
        exit 1
    fi
    sleep 0.25
done
if [ -z "$address" ]; then
    echo "zenta-stand did not report its address within five minutes; see $log" >&2
    exit 1
fi
echo "zenta-stand listens on $address"

cat >"$work/dedur.ini" <<INI
[General]
SERVER_NAME=$address
USER_NAME=operator
USER_PASSWORD=operator
AUTOLOGIN=true
SUBSCRIBE_EVENT_CATEGORIES=
SUBSCRIBE_EVENT_CODES="8301,8302,8303,8304,8305,8306,8307,8308"
ENOBJ_ID=1
INI
cp "$root/resources/sound/Alarm.wav" "$work/Alarm.wav"

client=("$bin/zenta-oprch")
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    cat <<'TEXT'
No display found ($DISPLAY is empty). To see the window, run this script from a desktop session,
or over SSH with X forwarding (ssh -X), or on a virtual display you can look at, for example:
    Xvfb :99 -screen 0 1600x900x24 &  DISPLAY=:99 scripts/demo.sh   (then view :99 with x11vnc)
Starting the client now on a private virtual display (xvfb-run); stop it with Ctrl+C.
TEXT
    client=(xvfb-run -a -s "-screen 0 1600x900x24" "${client[@]}")
fi

echo "Starting zenta-oprch in $work as operator ..."
cd "$work"
"${client[@]}" || true
