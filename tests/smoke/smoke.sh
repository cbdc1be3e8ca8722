#!/bin/sh
# Smoke test of the desktop program: starts it on a virtual display with the demo cartridge,
# checks that it keeps running and shows a picture, closes it and checks that it wrote its
# settings and the battery RAM.
#   smoke.sh TOV_PROGRAM DEMO_ROM
# Exit 77 (skipped) without xvfb-run.
prog=$1
rom=$2
command -v xvfb-run >/dev/null 2>&1 || { echo "xvfb-run not found: skipped"; exit 77; }
[ -x "$prog" ] || { echo "no program $prog"; exit 1; }
[ -f "$rom" ] || { echo "no demo cartridge $rom"; exit 1; }
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
# The program keeps "tov.ini" beside itself: run a copy in the scratch folder.
cp "$prog" "$dir/tov"
cp "$rom" "$dir/demo.gb"
printf 'LoadRomWarnings=0\n' > "$dir/tov.ini"

cat > "$dir/run.sh" <<SCRIPT
#!/bin/sh
"$dir/tov" "$dir/demo.gb" &
pid=\$!
sleep 3
if ! kill -0 \$pid 2>/dev/null; then echo "the program ended early"; exit 1; fi
if command -v import >/dev/null 2>&1; then import -window root "$dir/shot.png"; fi
kill \$pid
wait \$pid
SCRIPT
SDL_AUDIODRIVER=dummy xvfb-run -a -s "-screen 0 640x480x24" sh "$dir/run.sh"
status=$?
[ $status -eq 0 ] || { echo "program failed with status $status"; exit 1; }
grep -q "^Recent0=$dir/demo.gb\$" "$dir/tov.ini" || { echo "settings not written"; exit 1; }
[ -s "$dir/demo.sav" ] || { echo "battery RAM not saved"; exit 1; }
if [ -f "$dir/shot.png" ] && command -v identify >/dev/null 2>&1; then
    colours=$(identify -format %k "$dir/shot.png")
    [ "$colours" -ge 5 ] || { echo "the screen shows no picture ($colours colours)"; exit 1; }
fi
echo "smoke test passed"
