#!/usr/bin/env bash
# The typical run, on a machine with no display: starts Xvfb, openbox, the
# virtual controller and Lumo, then with the mouse picks COM2, confirms,
# clicks "projector on" and closes the panel through its close box. Saves a
# screenshot of each step in build/tour/ and succeeds only if the controller
# got exactly one "c" (0x63) on COM2 at 9600 8N1 and Lumo then ended.
set -euo pipefail
cd "$(dirname "$0")/../.."
build="${LUMO_BUILD_DIR:-build}"
shots="$build/tour"
work=$(mktemp -d "${TMPDIR:-/tmp}/lumo-tour.XXXXXX")
source tools/scripts/processes.sh

say() { echo "tour: $*"; }
fail() {
    echo "tour: FAILED: $*" >&2
    if [ -n "${DISPLAY:-}" ] && import -window root "$shots/failed.png" 2>/dev/null; then
        echo "tour: the screen at that moment: $shots/failed.png" >&2
    fi
    if [ -s "$work/lumo.log" ]; then
        echo "tour: Lumo's output:" >&2
        tail -n 20 "$work/lumo.log" | sed 's/^/    /' >&2
    fi
    exit 1
}

cleanup() {
    stop_started
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

alive() { kill -0 "$1" 2>/dev/null; }
nonempty() { [ -s "$1" ]; }
wm_running() { xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; }

# The visible window titled exactly $1, in $window.
window=""
find_window() {
    window=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n1)
    [ -n "$window" ]
}
window_gone() { ! xdotool search --onlyvisible --name "^$1\$" >/dev/null 2>&1; }

# Where a control lies in its dialog, from the same templates the program
# uses: "x y w h" in pixels of the client area.
control_rect() {
    awk -v d="$1" -v id="$2" '$1 == d && $2 == id { print $3, $4, $5, $6; found = 1 }
        END { exit !found }' "$work/layout"
}

# Clicks the middle of control $3 of dialog $2 in window $1.
click_control() {
    local x y w h
    read -r x y w h < <(control_rect "$2" "$3") || fail "no control $3 in the $2 layout"
    xdotool mousemove --window "$1" $((x + w / 2)) $((y + h / 2)) click 1
}

# The client area's top-left corner on the screen.
client_origin() {
    xwininfo -id "$1" | awk '/Absolute upper-left X/ { x = $NF } /Absolute upper-left Y/ { y = $NF }
        END { print x, y }'
}

# The pixel at ($2, $3) of window $1's client area, as "r,g,b".
pixel() {
    local ox oy
    read -r ox oy < <(client_origin "$1")
    import -window root -crop "1x1+$((ox + $2))+$((oy + $3))" -depth 8 txt:- 2>/dev/null |
        sed -n 's/.*srgb(\([0-9]*,[0-9]*,[0-9]*\)).*/\1/p'
}
painted_pink() { [ "$(pixel "$1" 4 4)" = "255,140,220" ]; }

shot() {
    import -window root "$shots/$1.png"
    say "  screenshot $shots/$1.png"
}

[ -x "$build/lumo" ] && [ -x "$build/lumo-vc" ] || fail "build $build/lumo and $build/lumo-vc first"
mkdir -p "$shots"
rm -f "$shots"/*.png
"$build/lumo-vc" --layout >"$work/layout"

say "no display: the typical run under Xvfb"
Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
pids+=($!)
wait_for 15 nonempty "$work/display" || fail "Xvfb did not start: $(tail -n3 "$work/xvfb.log")"
export DISPLAY=":$(head -n1 "$work/display")"
unset WAYLAND_DISPLAY
say "Xvfb on $DISPLAY"

openbox --sm-disable >"$work/openbox.log" 2>&1 &
pids+=($!)
wait_for 15 wm_running || fail "openbox did not start"

"$build/lumo-vc" --dir "$work/ports" >"$work/vc.log" 2>&1 &
vc_pid=$!
pids+=("$vc_pid")
wait_for 10 nonempty "$work/vc.log" || fail "the virtual controller did not start"
assignments=$(head -n1 "$work/vc.log")
[[ "$assignments" == LUMO_COM1=* ]] || fail "the virtual controller said: $assignments"
eval "export $assignments"
say "virtual controller: $assignments"

say "1. start"
lumo_start=$(now_ms)
"$build/lumo" >"$work/lumo.log" 2>&1 &
lumo_pid=$!
pids+=("$lumo_pid")
wait_for 30 find_window Lumo || fail "the port dialog did not appear"
port_dialog=$window
wait_for 10 painted_pink "$port_dialog" || fail "the port dialog was not drawn"
say "  port dialog after $(($(now_ms) - lumo_start)) ms"
shot 1-start

say "2. click 使用COM2口"
click_control "$port_dialog" port 1001
shot 2-com2

say "3. click 确定"
click_control "$port_dialog" port 1002
wait_for 15 find_window KT4200 || fail "the panel did not appear"
panel=$window
wait_for 10 window_gone Lumo || fail "the port dialog stayed"
wait_for 10 painted_pink "$panel" || fail "the panel was not drawn"
shot 3-panel

say "4. click TOUYINGKAI (projector on)"
bytes_received() { awk 'NR > 1 && $3 != "line"' "$work/vc.log" | grep -q .; }
click_control "$panel" panel 1026
wait_for 10 bytes_received || say "  the controller received nothing"
shot 4-touyingkai

say "5. close the panel with its close box"
read -r ox oy < <(client_origin "$panel")
read -r _ _ panel_w _ < <(control_rect panel 0)
# The close box is the last title-bar button of openbox's default theme.
close_start=$(now_ms)
xdotool mousemove $((ox + panel_w - 12)) $((oy - 10)) click 1
if ! wait_for 1 window_gone KT4200; then
    say "  the close box did not close the panel; asking openbox with Alt+F4"
    xdotool windowactivate --sync "$panel" key alt+F4 || true
    close_start=$(now_ms)
fi
ended=no
wait_for 2 eval '! alive "$lumo_pid"' && ended=yes
lumo_status=""
if [ "$ended" = yes ]; then
    took=$(($(now_ms) - close_start))
    lumo_status=0
    wait "$lumo_pid" || lumo_status=$?
    say "  Lumo ended ${took} ms after the close, exit status $lumo_status"
else
    say "  Lumo still runs 2 s after the close"
fi
shot 5-closed

kill -TERM "$vc_pid"
wait_for 5 eval '! alive "$vc_pid"' || true
echo
say "the controller's output:"
sed 's/^/    /' "$work/vc.log"
[ -s "$work/lumo.log" ] && { say "Lumo's output:"; sed 's/^/    /' "$work/lumo.log"; }
echo

# Every byte with the settings its port had when it came: "COM2 c 9600 8N1".
awk 'NR > 1 { if ($3 == "line") s[$2] = $4 " " $5; else print $2, $3, s[$2] }' \
    "$work/vc.log" >"$work/bytes"
count=$(wc -l <"$work/bytes")
[ "$count" -eq 1 ] || fail "the controller received $count bytes, not one"
[ "$(cat "$work/bytes")" = "COM2 c 9600 8N1" ] ||
    fail "expected 0x63 on COM2 at 9600 8N1, got: $(cat "$work/bytes")"
[ "$ended" = yes ] || fail "Lumo did not end within 2 s of closing the panel"
[ "$lumo_status" = 0 ] || fail "Lumo exited with status $lumo_status"
say "OK: one byte 0x63 (c, projector on) on COM2 at 9600 8N1; Lumo ended; screenshots in $shots/"
