#!/bin/sh
# Runs one test ROM through the headless runner; exits 77 (skipped) when the ROM is absent.
# usage: runrom.sh TOV_RUN ROM [tov-run options...]
# Battery RAM goes to a fresh folder for each run: a ".sav" beside the ROM would land in
# the shared test ROM folder, and an old one would hand the next run a stale result block.
runner="$1"
rom="$2"
shift 2
if [ ! -f "$rom" ]; then
    echo "SKIPPED: test ROM not found: $rom (the public test ROM folder is missing)"
    exit 77
fi
saves=$(mktemp -d "${TMPDIR:-/tmp}/tov-romtest.XXXXXX") || exit 2
"$runner" --set "SaveRamDir=$saves" "$@" "$rom"
status=$?
rm -rf "$saves"
exit $status
