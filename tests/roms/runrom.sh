#!/bin/sh
# Runs one test ROM through the headless runner; exits 77 (skipped) when the ROM is absent.
# usage: runrom.sh TOV_RUN ROM [tov-run options...]
runner="$1"
rom="$2"
shift 2
if [ ! -f "$rom" ]; then
    echo "SKIPPED: test ROM not found: $rom (the public test ROM folder is missing)"
    exit 77
fi
exec "$runner" "$@" "$rom"
