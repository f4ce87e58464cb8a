#!/usr/bin/env bash
# Runs under xvfb-run: starts the real program, opens an editor with a
# double-click on the drop box, types a note into it as a user would, then sends
# SIGTERM (what a logout does) and reports how long the program took to end.
# Arguments: the executable, the text to type. Prints "ended-after-ms N" on success.
set -u
exe=$1
text=$2
export QT_QPA_PLATFORM=xcb

"$exe" &
pid=$!

wait_for_window() {
    for _ in $(seq 1 300); do
        if xdotool search --name "$1" >/dev/null 2>&1; then return 0; fi
        if ! kill -0 "$pid" 2>/dev/null; then return 1; fi
        sleep 0.2
    done
    return 1
}

if ! wait_for_window '^Clipnest$'; then
    echo "the program did not show its windows"; kill -KILL "$pid" 2>/dev/null; exit 2
fi
sleep 2
# A double-click on the drop box (the 48x43 window) adds a note.
for id in $(xdotool search --name '^Clipnest$'); do
    eval "$(xdotool getwindowgeometry --shell "$id")"
    if [ "$WIDTH" = 48 ] && [ "$HEIGHT" = 43 ]; then
        xdotool mousemove $((X + 24)) $((Y + 20)) click --repeat 2 --delay 120 1
        break
    fi
done
if ! wait_for_window '^Note editor$'; then
    echo "no editor opened"; kill -KILL "$pid" 2>/dev/null; exit 3
fi
sleep 3
# The editor is centred on the 1366x768 screen; its note area is in the middle.
xdotool mousemove 683 420 click 1
sleep 1
xdotool type --delay 30 "$text"
sleep 1

start=$(date +%s%N)
kill -TERM "$pid"
for _ in $(seq 1 300); do
    if ! kill -0 "$pid" 2>/dev/null; then break; fi
    sleep 0.1
done
if kill -0 "$pid" 2>/dev/null; then
    echo "still running after SIGTERM"; kill -KILL "$pid"; exit 4
fi
wait "$pid"
status=$?
end=$(date +%s%N)
echo "ended-after-ms $(((end - start) / 1000000)) status $status"
