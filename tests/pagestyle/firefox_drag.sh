#!/usr/bin/env bash
# Runs under xvfb-run: starts the real program and a real Firefox on a page,
# selects the whole page in Firefox and drags it onto the drop box, as a user
# does. The capture opens an editor; SIGTERM then makes the program save it.
# Arguments: the executable, the page's address, a scratch folder.
# Prints "saved" when the program ended well after the drop.
set -u
exe=$1
page=$2
scratch=$3
export QT_QPA_PLATFORM=xcb HOME=$scratch/home MOZ_DISABLE_CONTENT_SANDBOX=1
mkdir -p "$HOME" "$scratch/profile"

cp "$(dirname "$0")/firefox-user.js" "$scratch/profile/user.js"

"$exe" &
pid=$!
firefox-esr --no-remote --profile "$scratch/profile" --width 900 --height 700 "$page" >"$scratch/firefox.log" 2>&1 &
firefox=$!
finish() {
    kill -KILL "$pid" "$firefox" 2>/dev/null
    exit "$1"
}

wait_for_window() {
    for _ in $(seq 1 300); do
        if xdotool search --name "$1" >/dev/null 2>&1; then return 0; fi
        sleep 0.2
    done
    return 1
}

wait_for_window '^Clipnest$' || { echo "the program did not show its windows"; finish 2; }
wait_for_window 'Mozilla Firefox$' || { echo "Firefox did not show the page"; finish 3; }
sleep 4
box=""
for id in $(xdotool search --name '^Clipnest$'); do
    eval "$(xdotool getwindowgeometry --shell "$id")"
    if [ "$WIDTH" = 48 ] && [ "$HEIGHT" = 43 ]; then box="$((X + 24)) $((Y + 21))"; fi
done
[ -n "$box" ] || { echo "no drop box"; finish 4; }
browser=$(xdotool search --name 'Mozilla Firefox$' | tail -1)
xdotool windowraise "$browser"
xdotool mousemove 450 650 click 1
xdotool windowfocus --sync "$browser"
sleep 0.5
xdotool key ctrl+a
sleep 0.5
# The page's paragraph fills the window's middle: press on the selected text,
# then move in steps, as a hand does, to the drop box.
read -r boxX boxY <<< "$box"
xdotool mousemove 300 330
sleep 0.5
xdotool mousedown 1
sleep 0.5
for step in $(seq 1 20); do
    xdotool mousemove $((300 + (boxX - 300) * step / 20)) $((330 + (boxY - 330) * step / 20))
    sleep 0.05
done
sleep 0.5
xdotool mousemove "$((boxX + 1))" "$((boxY + 1))"
sleep 0.5
xdotool mouseup 1
wait_for_window '^Note editor$' || { echo "no editor opened after the drop"; finish 5; }
sleep 3
kill -TERM "$pid"
for _ in $(seq 1 300); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
done
kill -0 "$pid" 2>/dev/null && { echo "still running after SIGTERM"; finish 6; }
wait "$pid"
status=$?
kill -TERM "$firefox" 2>/dev/null
wait "$firefox" 2>/dev/null
[ "$status" = 0 ] && echo saved || echo "ended with status $status"
