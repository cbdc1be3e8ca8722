#!/bin/sh
# Smoke test of the desktop program on a virtual display with the demo cartridge:
#  - the window shows the demo's picture (floor checks, the window band with the counter, the
#    ball sprite), read back from a screenshot of the real window;
#  - holding the right arrow (player 0's "right") moves the ball to the right;
#  - pressing "S" (player 0's "A") counts up;
#  - while the pop-up menu is open, keys reach neither the game nor the commands, and the Esc
#    that closes the menu does not pause;
#  - a close request ends the program with status 0, the settings hold the recent file and
#    the battery RAM file ".sav" holds the counter;
#  - a ROM with header warnings asks in a box (SDL's own where the X server can draw it, the
#    window's own otherwise), and answering OK with Return loads it;
#  - with the XDND dropper: of a gzip file and a second file dropped together on the window,
#    the first opens.
#   smoke.sh TOV_PROGRAM DEMO_ROM [XDNDDROP]
# Exit 77 (skipped) without xvfb-run, xdotool or ImageMagick.
prog=$1
rom=$2
drop=$3
for tool in xvfb-run xdotool import convert; do
    command -v $tool >/dev/null 2>&1 || { echo "$tool not found: skipped"; exit 77; }
done
[ -x "$prog" ] || { echo "no program $prog"; exit 1; }
[ -f "$rom" ] || { echo "no demo cartridge $rom"; exit 1; }
[ -z "$drop" ] || [ -x "$drop" ] || { echo "no dropper $drop"; exit 1; }
dir=$(mktemp -d)
[ -n "$SMOKE_KEEP" ] && echo "scratch $dir" || trap 'rm -rf "$dir"' EXIT
# The program keeps "tov.ini" beside itself: run a copy in the scratch folder. The window is
# 320 x 288 (twice the picture), DMG game without a border, default colours.
cp "$prog" "$dir/tov"
cp "$rom" "$dir/demo.gb"
[ -z "$drop" ] || cp "$drop" "$dir/xdnddrop"
printf 'LoadRomWarnings=0\nWidth=320\nHeight=288\nWindowmode=0\nBorder=1\n' > "$dir/tov.ini"

cat > "$dir/run.sh" <<'SCRIPT'
#!/bin/sh
# Runs inside the virtual display. $1 = scratch folder.
dir=$1
# end: asks the program to end (SIGTERM) and waits for it, at most 30 s; a program that does
# not end then is killed, so that a hang is reported rather than waited out.
end() {
    kill -TERM $pid 2>/dev/null
    n=0
    while kill -0 $pid 2>/dev/null && [ $n -lt 150 ]; do sleep 0.2; n=$((n + 1)); done
    if kill -0 $pid 2>/dev/null; then
        echo "FAIL: the program did not end within 30 s of SIGTERM"
        kill -KILL $pid 2>/dev/null
        wait $pid
        return 99
    fi
    wait $pid
}
fail() { echo "FAIL: $*"; [ -n "$pid" ] && end; exit 1; }

# The demo's colours (the default DMG shades, 0x00BBGGRR in the settings).
shade0=E0F8D0; shade1=88C070; shade2=306850; shade3=081820

# shot: the window's picture as a text dump, one "x,y: ... #RRGGBB" line per pixel.
shot() { timeout 30 import -window "$wid" "$dir/shot.png" 2>/dev/null && convert "$dir/shot.png" "$dir/shot.txt" 2>/dev/null; }
# pixel X Y: RRGGBB of window pixel (X, Y) in the last shot.
pixel() { grep -m1 "^$1,$2:" "$dir/shot.txt" | sed 's/.*#\([0-9A-Fa-f]\{6\}\).*/\1/' | tr a-f A-F; }
# spritex: left edge (window pixels) of the ball on picture row 72, where the background
# holds only shades 0 and 1, so the darkest shade there is the ball.
spritex() { grep "^[0-9]*,145:" "$dir/shot.txt" | grep -i "#$shade3" | head -1 | cut -d, -f1; }
# rowshot: that row alone, fast enough that the moving ball (one picture pixel a frame, once
# round the 160-pixel picture in under three seconds) is seen before it wraps round even on a
# loaded machine, where a whole-window shot can take longer than that.
rowshot() {
    timeout 30 import -window "$wid" -crop 320x1+0+145 +repage "$dir/row.png" 2>/dev/null &&
        convert "$dir/row.png" "$dir/row.txt" 2>/dev/null &&
        sed 's/^\([0-9]*\),0:/\1,145:/' "$dir/row.txt" > "$dir/shot.txt"
}
# counter: the two digit cells of the window band (picture row 128-135, columns 72-87).
counter() { grep -E "^(1[4-6][0-9]|17[0-5]),(25[6-9]|26[0-9]):" "$dir/shot.txt" | md5sum; }
# poll SECONDS CONDITION: retries the condition until it holds or time runs out.
poll() {
    limit=$(( $(date +%s) + $1 )); shift
    while :; do
        eval "$@" && return 0
        [ "$(date +%s)" -ge "$limit" ] && return 1
        kill -0 $pid 2>/dev/null || fail "the program ended early"
        sleep 0.2
    done
}

"$dir/tov" "$dir/demo.gb" &
pid=$!

# The caption names the game once the ROM runs.
poll 60 'wid=$(xdotool search --name "^tov - TOV DEMO" 2>/dev/null | head -1); [ -n "$wid" ]' ||
    fail "no window with the caption \"tov - TOV DEMO\""
xdotool windowfocus "$wid" 2>/dev/null

# The demo's picture: the window band (shade 2) across the bottom rows, the ball (shade 3)
# in the middle of the floor (shades 0 and 1).
showsdemo() {
    shot || return 1
    [ "$(pixel 4 250)" = $shade2 ] && [ "$(pixel 310 280)" = $shade2 ] &&
        [ "$(pixel 160 144)" = $shade3 ] && [ "$(pixel 163 147)" = $shade3 ] &&
        f=$(pixel 20 180) && { [ "$f" = $shade0 ] || [ "$f" = $shade1 ]; }
}
poll 60 showsdemo || fail "the window does not show the demo (band $(pixel 4 250), ball $(pixel 160 144), floor $(pixel 20 180))"
cp "$dir/shot.png" "$dir/first.png"
x0=$(spritex)
[ -n "$x0" ] || fail "no ball on picture row 72"

# Holding the right arrow moves the ball right by one picture pixel a frame. Its position
# is one byte, so it wraps: the arrow is held in short taps and the distance is counted
# modulo 256 picture pixels, which a slow machine cannot overrun between two shots.
rightward() {
    xdotool keydown Right; sleep 0.2; xdotool keyup Right
    rowshot && x1=$(spritex) && [ -n "$x1" ] || return 1
    d=$(( ((x1 - x0) / 2 % 256 + 256) % 256 ))
    [ $d -ge 8 ] && [ $d -lt 128 ]
}
poll 60 rightward || fail "the ball did not move right (from x $x0 to ${x1:-none})"

# "S" is the A button: the counter in the window band goes up.
shot
c0=$(counter)
xdotool keydown s
poll 60 'shot && [ "$(counter)" != "$c0" ]'
counted=$?
xdotool keyup s
[ $counted -eq 0 ] || fail "the counter did not change"

# The open pop-up menu keeps the keys: "S" does not count, Esc closes the menu and does not
# pause, and afterwards the keys reach the game again.
shot
c1=$(counter)
# menuopen: the pop-up menu (opened at 40,40, drawn below and right of it) covers window
# pixel 60,50 with a colour that is none of the game's shades.
menupixel() {
    p=$(pixel 60 50)
    [ -n "$p" ] && [ "$p" != $shade0 ] && [ "$p" != $shade1 ] && [ "$p" != $shade2 ] && [ "$p" != $shade3 ]
}
menuopen() { shot && menupixel; }
menuclosed() { shot && [ -n "$(pixel 60 50)" ] && ! menupixel; }
xdotool mousemove --window "$wid" 40 40 click 3
poll 60 menuopen || fail "the pop-up menu did not open"
xdotool keydown s; sleep 0.3; xdotool keyup s; sleep 0.5
xdotool key Escape
poll 60 menuclosed || fail "Esc did not close the pop-up menu"
name=$(xdotool getwindowname "$wid")
case "$name" in *paused*) fail "the Esc that closed the menu also paused ($name)";; esac
# The menu may cover the counter: it is read once the menu has closed.
[ "$(counter)" = "$c1" ] || fail "a key reached the game while the menu was open"
xdotool keydown s
poll 60 'shot && [ "$(counter)" != "$c1" ]'
counted=$?
xdotool keyup s
[ $counted -eq 0 ] || fail "the counter did not change after the menu closed"

# A close request (the SDL quit event) ends the program cleanly.
status=0
end || status=$?
[ $status -eq 0 ] || { echo "FAIL: exit status $status after the close request"; exit 1; }

# A second copy in a folder of its own, with a ROM whose header checksum is wrong.
mkdir "$dir/warn"
cp "$dir/tov" "$dir/warn/tov"
cp "$dir/demo.gb" "$dir/warn/bad.gb"
printf '\377' | dd of="$dir/warn/bad.gb" bs=1 seek=333 conv=notrunc 2>/dev/null
printf 'LoadRomWarnings=1\nWidth=320\nHeight=288\nWindowmode=0\n' > "$dir/warn/tov.ini"
pid=
"$dir/warn/tov" "$dir/warn/bad.gb" &
pid=$!
# SDL shows the question in a window of its own where the X server has the fonts for it (the
# program's window stays hidden until it is answered), and the program draws it in its own
# window otherwise: Return goes to whichever is there.
nativebox() { xwininfo -root -children 2>/dev/null | awk '/"loading rom succeeded with warnings"/ { print $1; exit }'; }
# Waited for until one of them is there: SDL's box, or the program's window shown (the
# search finds the hidden window too, before the box is up).
poll 60 'box=$(nativebox)
    wid=$(xdotool search --onlyvisible --name "^tov" 2>/dev/null | head -1); [ -n "$box" ] || [ -n "$wid" ]' ||
    fail "no window for the ROM with warnings"
sleep 1
box=$(nativebox)
xdotool windowfocus "${box:-$wid}" 2>/dev/null
sleep 0.3
xdotool key Return
poll 60 'wid=$(xdotool search --name "^tov" 2>/dev/null | head -1); [ "$(xdotool getwindowname "$wid" 2>/dev/null)" = "tov - TOV DEMO" ]' ||
    fail "answering OK to the header warnings did not load the ROM (caption \"$(xdotool getwindowname "$wid")\")"

if [ -x "$dir/xdnddrop" ]; then
    # Files dropped as from a file manager: the first of them, a gzip file, opens as a ROM
    # (the recent list names it; the second, the ROM with warnings, would ask again).
    gzip -c "$dir/demo.gb" > "$dir/warn/game.gb.gz"
    eval $(xdotool getwindowgeometry --shell "$wid")
    "$dir/xdnddrop" "$wid" $((X + 40)) $((Y + 40)) "$dir/warn/game.gb.gz" "$dir/warn/bad.gb" ||
        fail "the window refused the drop"
    poll 60 'grep -q "^Recent0=$dir/warn/game.gb.gz\$" "$dir/warn/tov.ini"' || fail "the dropped gzip file was not opened"
    sleep 1
    [ -z "$(nativebox)" ] || fail "the second dropped file was opened too"
fi
end || exit 1
exit 0
SCRIPT
rm -f "$dir/demo.sav"
SDL_AUDIODRIVER=dummy xvfb-run -a -s "-screen 0 640x480x24" sh "$dir/run.sh" "$dir"
status=$?
[ $status -eq 0 ] || { echo "the window test failed (status $status)"; exit 1; }
grep -q "^Recent0=$dir/demo.gb\$" "$dir/tov.ini" || { echo "settings not written"; exit 1; }
[ -s "$dir/demo.sav" ] || { echo "battery RAM not saved"; exit 1; }
# The demo keeps its counter in the first byte of the battery RAM, after two presses (one
# before the menu opened, one after it closed; none while it was open) 2, followed by its
# signature "TV".
saved=$(od -A n -t x1 -N 3 "$dir/demo.sav" | tr -d ' \n')
[ "$saved" = "025456" ] || { echo "the battery RAM holds $saved instead of the counter 02 and \"TV\""; exit 1; }
echo "smoke test passed"
