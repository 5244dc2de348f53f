#!/usr/bin/env bash
# Takes the README's pictures (and the metainfo's) anew: starts Vantel on the simulated phone on a
# virtual display, retrieves the phone's messages and photographs the main window, the viewer, the
# technical view and the send form into docs/. Run it after every change of the windows.
#   docs/screenshots.sh [BUILD-DIR]     (default build/, as ./run.sh and ./test.sh make it)
# Needs xvfb, xdotool and imagemagick (sudo apt-get install xvfb xdotool imagemagick).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=$(realpath "${1:-build}")
for tool in Xvfb xdotool import convert; do
  command -v "$tool" >/dev/null || { echo "screenshots.sh: $tool is missing" >&2; exit 1; }
done
[ -x "$build/app/vantel" ] || { echo "screenshots.sh: build $build/app/vantel first" >&2; exit 1; }

work=$(mktemp -d)
pids=()
cleanup() {
  # The program first, the display last.
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
    kill "${pids[i]}" 2>/dev/null || true
    wait "${pids[i]}" 2>/dev/null || true
  done
  rm -rf "$work"
}
trap cleanup EXIT

# The same fonts and sizes every time: a display of its own, no window manager, no desktop theme.
display=:$((90 + RANDOM % 100))
Xvfb "$display" -screen 0 1600x1000x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
export DISPLAY=$display QT_QPA_PLATFORM=xcb QT_QPA_PLATFORMTHEME= XDG_RUNTIME_DIR=$work
for _ in $(seq 50); do xdotool getmouselocation >/dev/null 2>&1 && break; sleep 0.1; done

# Besides the phone's samples: a Unicode message and a message in two parts, built by vantel-pdu.
pdu=$build/tools/pdu/vantel-pdu
messages=()
while IFS=, read -r _ _ _ data; do messages+=(--message "ME,3,$data"); done < <(
  "$pdu" encode --to +491721234567 --sc +491710760000 --dcs 08 --mode pdu \
    --text "Привет! Καλημέρα! Grüße aus Köln 😀"
  "$pdu" encode --to +491721234567 --sc +491710760000 --mode pdu --text "$(printf '%s' \
    "A text longer than one message goes out as a concatenated series, one send-queue entry " \
    "a part; the viewer joins the parts once all of them are stored and says which part it " \
    "shows. This is the end of the second part.")")
# One message in the send queue that asks for a delivery report, which the phone then stores.
"$pdu" encode --to "Anna=+491721234567" --sc +491710760000 --status-report \
  --text "The parcel is at the station" > "$work/vantelsq.dat"
"$build/tools/phonesim/vantel-phonesim" --link "$work/com1" --status-report 00 "${messages[@]}" \
  >/dev/null &
pids+=($!)
printf 'Speed=19200\r\nPort=1\r\nDialString=AT*T\r\nConfirmString=OK\r\nDebugMode=1\r\n' \
  > "$work/vantel.ini"
printf 'Anna=+491721234567\r\n' > "$work/smsaddr.dat"  # the viewer names her number
for _ in $(seq 50); do [ -e "$work/com1" ] && break; sleep 0.1; done

"$build/app/vantel" --folder "$work" &
pids+=($!)
main=$(xdotool search --sync --onlyvisible --name '^Vantel [0-9]')

# key WINDOW KEYS...: presses the keys in that window.
key() {
  local window=$1
  shift
  xdotool windowfocus --sync "$window" key --clearmodifiers "$@"
  sleep 0.5
}
# shot WINDOW FILE: the window's picture.
shot() {
  sleep 0.5
  import -window "$1" "$2"
}
# window TITLE: the window of that title, once it is shown.
window() {
  xdotool search --sync --onlyvisible --name "$1" | head -1
}

# The send timer sends the queued message within five seconds; then the retrieval.
for _ in $(seq 100); do [ -s "$work/vantelsent.dat" ] && break; sleep 0.2; done
key "$main" alt+r
# The retrieval is over when the message list has stopped growing for three seconds.
count=0 still=0
for _ in $(seq 120); do
  now=$(grep -c . "$work/vantelq.dat" 2>/dev/null || true)
  if [ "${now:-0}" -gt 0 ] && [ "$now" = "$count" ]; then
    still=$((still + 1))
    [ "$still" -ge 6 ] && break
  else
    still=0
  fi
  count=$now
  sleep 0.5
done
sleep 2  # the retrieval's END SMS MODE
shot "$main" "$work/main-window.png"

# view WORDS: the viewer on the first message the search box finds for WORDS, opened with Enter.
view() {
  key "$main" ctrl+f ctrl+a BackSpace
  xdotool type --delay 30 "$1"
  key "$main" Tab Return
  window '^Vantel - Message View'
}
viewer=$(view "hello simulated")
shot "$viewer" "$work/viewer.png"
key "$viewer" alt+t
technical=$(window '^Vantel - Technical View')
shot "$technical" "$work/technical-view.png"
key "$technical" alt+o
key "$viewer" alt+c
viewer=$(view "koln")  # accents are ignored
shot "$viewer" "$work/viewer-unicode.png"
key "$viewer" alt+c
viewer=$(view "concatenated series")
shot "$viewer" "$work/viewer-concatenated.png"
key "$viewer" alt+c
key "$main" ctrl+f Escape

key "$main" alt+e
send=$(window '^Send an SMS Message')
# click WINDOW X Y TEXT: types TEXT into the field at X,Y of the window.
click() {
  xdotool mousemove --window "$1" "$2" "$3" click 1 sleep 0.3 type --delay 30 "$4"
}
click "$send" 150 49 "+491721234567"
click "$send" 220 120 "See you at 8, at the station"
shot "$send" "$work/send-form.png"

for picture in main-window viewer technical-view send-form; do
  cp "$work/$picture.png" "$root/docs/$picture.png"
done
convert "$work/viewer-unicode.png" "$work/viewer-concatenated.png" +append \
  "$root/docs/viewer-unicode-concatenated.png"
echo "docs/: main-window.png viewer.png technical-view.png send-form.png" \
  "viewer-unicode-concatenated.png"
