#!/usr/bin/env bash
# The same selection of a styled reference page dragged out of a real Firefox
# and a real Chromium onto the drop box, then both notes in the explorer, side
# by side. Everything stays on 127.0.0.1: both browsers' other traffic goes to
# a proxy on a closed local port.
#
#   tools/screenshots/browsers_shot.sh BUILD_FOLDER OUTPUT_FOLDER
set -euo pipefail
build=$(cd "$1" && pwd)
mkdir -p "$2"
output=$(cd "$2" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
scratch=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null; rm -rf "$scratch"' EXIT

mkdir -p "$scratch/site/library/_static" "$scratch/program"
cp -r "$build/program/." "$scratch/program/"
cat > "$scratch/site/library/bisect.html" <<'PAGE'
<!DOCTYPE html><html lang="en"><head><meta charset="utf-8">
<title>bisect &mdash; Array bisection algorithm</title>
<link rel="stylesheet" href="_static/theme.css"></head>
<body class="page"><input type="checkbox" id="menuToggler" class="toggler">
<div class="sidebar"><h3>Table of Contents</h3><ul><li>Searching sorted lists</li></ul></div>
<div class="body"><h1 id="bisect">bisect &mdash; Array bisection algorithm<a class="headerlink" href="#bisect">&para;</a></h1>
<p class="lead">This module provides support for maintaining a list in <strong>sorted order</strong> without
having to sort the list after each insertion. For long lists of items with expensive comparison operations,
this can be an improvement over linear searches or frequent resorting.</p>
<div class="admonition note"><p class="admonition-title">Note</p><p>The functions in this module are not
thread-safe. If several threads use them on the same sequence, guard it with a lock.</p></div>
<pre class="code"><span class="k">def</span> <span class="nf">index</span>(a, x):
    i = bisect_left(a, x)
    <span class="k">if</span> i != len(a) <span class="k">and</span> a[i] == x:
        <span class="k">return</span> i
    <span class="k">raise</span> ValueError</pre>
<p>See <a href="../heapq.html">heapq</a> for another module on sorted data.</p></div></body></html>
PAGE
cat > "$scratch/site/library/_static/theme.css" <<'CSS'
@import url("basic.css");
.sidebar, .toggler { display: none }
h1 { color: rgb(52, 101, 164); font-size: 30px; border-bottom: 2px solid rgb(210, 220, 235); padding-bottom: 6px }
.headerlink { color: rgb(180, 190, 200); text-decoration: none; margin-left: 6px }
.lead { font-size: 17px; line-height: 1.6 }
.admonition { background-color: rgb(231, 242, 250); border-left: 4px solid rgb(110, 168, 220); padding: 4px 14px }
.admonition-title { font-weight: 700; color: rgb(40, 90, 140) }
pre.code { background-color: rgb(40, 44, 52); color: rgb(220, 223, 228); padding: 12px; border-radius: 6px;
           font-family: "DejaVu Sans Mono", monospace; font-size: 14px }
.k { color: rgb(198, 120, 221); font-weight: 700 } .nf { color: rgb(97, 175, 239) }
a { color: rgb(0, 110, 170) }
CSS
printf 'body.page { color: rgb(34, 34, 34); font-family: "DejaVu Serif", serif; margin: 16px 28px; background: rgb(255, 255, 252) }\n' \
    > "$scratch/site/library/_static/basic.css"
port=8793
(cd "$scratch/site" && exec python3 -m http.server --bind 127.0.0.1 "$port" >/dev/null 2>&1) &
page="http://127.0.0.1:$port/library/bisect.html"
sleep 1

cat > "$scratch/drags.sh" <<'DRAGS'
#!/usr/bin/env bash
# Inside Xvfb: the program, then each browser's selection onto the drop box.
set -u
scratch=$1 page=$2 prefs=$3
export QT_QPA_PLATFORM=xcb HOME=$scratch/home MOZ_DISABLE_CONTENT_SANDBOX=1 XDG_RUNTIME_DIR=$scratch/runtime
mkdir -p "$HOME" "$XDG_RUNTIME_DIR" "$scratch/firefox"
chmod 700 "$XDG_RUNTIME_DIR"
cp "$prefs" "$scratch/firefox/user.js"
wait_for() { for _ in $(seq 1 300); do xdotool search --name "$1" >/dev/null 2>&1 && return 0; sleep 0.2; done; return 1; }
"$scratch/program/clipnest" & program=$!
wait_for '^Clipnest$' || exit 2
sleep 3
for id in $(xdotool search --name '^Clipnest$'); do
    eval "$(xdotool getwindowgeometry --shell "$id")"
    if [ "$WIDTH" = 48 ] && [ "$HEIGHT" = 43 ]; then boxX=$((X + 24)); boxY=$((Y + 21)); fi
done
drag() { # window name pattern, catalog to file the note under
    local browser
    browser=$(xdotool search --name "$1" | tail -1)
    xdotool windowraise "$browser"; xdotool mousemove 450 690 click 1; xdotool windowfocus --sync "$browser"
    sleep 0.5; xdotool key ctrl+a; sleep 0.5
    xdotool mousemove 300 330; sleep 0.5; xdotool mousedown 1; sleep 0.5
    for step in $(seq 1 20); do
        xdotool mousemove $((300 + (boxX - 300) * step / 20)) $((330 + (boxY - 330) * step / 20)); sleep 0.05
    done
    sleep 0.5; xdotool mousemove $((boxX + 1)) $((boxY + 1)); sleep 0.5; xdotool mouseup 1
    sleep 4
    local editor
    editor=$(xdotool search --name '^Note editor$' | tail -1)
    xdotool windowfocus --sync "$editor"; xdotool key Tab; xdotool type "$2"; sleep 0.5
}
firefox-esr --no-remote --profile "$scratch/firefox" --width 900 --height 740 "$page" >/dev/null 2>&1 & firefox=$!
wait_for 'Mozilla Firefox$' || exit 3
sleep 4
drag 'Mozilla Firefox$' Firefox
kill "$firefox"; wait "$firefox" 2>/dev/null
chromium --no-sandbox --user-data-dir="$scratch/chromium" --no-first-run --no-default-browser-check \
    --disable-background-networking --disable-component-update --disable-sync \
    --proxy-server=127.0.0.1:9 --proxy-bypass-list=127.0.0.1 --window-position=0,0 --window-size=900,740 \
    "$page" >/dev/null 2>&1 & chromium=$!
wait_for ' - Chromium$' || exit 4
sleep 4
drag ' - Chromium$' Chromium
kill -TERM "$program"; wait "$program"
kill "$chromium" 2>/dev/null
DRAGS
xvfb-run -a -s "-screen 0 1366x768x24" bash "$scratch/drags.sh" "$scratch" "$page" "$here/../../tests/pagestyle/firefox-user.js"
xvfb-run -a -s "-screen 0 1366x768x24" env QTWEBENGINE_DISABLE_SANDBOX=1 XDG_RUNTIME_DIR="$scratch/runtime" \
    "$build/tools/browser_notes_shot" "$scratch/program" "$output"
shots=("$output"/note-*.png)
convert "${shots[@]}" +append "$output/firefox-chromium.png"
echo "$output/firefox-chromium.png"
