#!/bin/sh
# Runs ZELTRIM on the shipped example in a scratch copy: the instruction file TIDY.ZT edits
# AUTOEXEC.BAT. Usage: examples/try.sh [path to the zeltrim binary]
set -eu
here=$(cd "$(dirname "$0")" && pwd)
program=$(cd "$(dirname "${1:-build/zeltrim}")" && pwd)/$(basename "${1:-build/zeltrim}")
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cp "$here/AUTOEXEC.BAT" "$here/TIDY.ZT" "$scratch"
cd "$scratch"
echo "--- TIDY.ZT (the byte 0x02 shown as |)"
tr '\002\r' '|\n' < TIDY.ZT | sed '/^$/d'
echo "--- zeltrim TIDY.ZT"
"$program" TIDY.ZT </dev/null
echo "--- AUTOEXEC.BAT afterwards (CR LF and the end mark 0x1A not shown)"
tr -d '\r\032' < AUTOEXEC.BAT
