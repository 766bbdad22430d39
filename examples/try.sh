#!/bin/sh
# Runs ZELTRIM on an example in a scratch copy, so the examples themselves never change.
# Usage: examples/try.sh [path to the zeltrim binary] [job folder of the gallery]
# The binary defaults to build/zeltrim, or to the installed zeltrim when there is no build.
# Without a job folder it runs the shipped example: TIDY.ZT edits AUTOEXEC.BAT.
# With one (for example add-to-path) it runs that job's instruction file, with the options its
# file `options` lists (one line, for example /o), shows what changed in each file and checks
# the result against the job's expected/ folder.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
program=${1:-build/zeltrim}
# Without a path, the program of the build folder, else the installed one.
[ -n "${1:-}" ] || [ -x "$program" ] || program=$(command -v zeltrim) || {
  echo "no zeltrim found: give its path" >&2
  exit 2
}
program=$(cd "$(dirname "$program")" && pwd)/$(basename "$program")
job=${2:-}
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# Shows a file as text: the field separator 0x02 as |, without CRs, zero bytes and end marks.
show() { tr '\002' '|' < "$1" | tr -d '\r\000\032'; }

if [ -z "$job" ]; then
  cp "$here/AUTOEXEC.BAT" "$here/TIDY.ZT" "$scratch"
  cd "$scratch"
  echo "--- TIDY.ZT (the byte 0x02 shown as |)"
  show TIDY.ZT | sed '/^$/d'
  echo "--- zeltrim TIDY.ZT"
  "$program" TIDY.ZT </dev/null
  echo "--- AUTOEXEC.BAT afterwards (CR LF and the end mark 0x1A not shown)"
  show AUTOEXEC.BAT
  exit 0
fi

folder=$here/$job
[ -d "$folder/expected" ] || { echo "no such job: $job (see examples/README.md)" >&2; exit 2; }
mkdir "$scratch/run" "$scratch/before"
for file in "$folder"/*; do
  case $(basename "$file") in README.md | options) continue ;; esac
  [ -f "$file" ] && cp "$file" "$scratch/run" && cp "$file" "$scratch/before"
done
# The job's options: the first line of its file `options`, words given after the instruction file.
options=
if [ -f "$folder/options" ]; then options=$(head -n 1 "$folder/options"); fi
cd "$scratch/run"
instructions=$(ls -- *.ZT)
echo "--- $instructions (the byte 0x02 shown as |)"
show "$instructions"
echo "--- zeltrim $instructions${options:+ $options}"
status=0
# shellcheck disable=SC2086 # the options are words
"$program" "$instructions" $options </dev/null || status=$?
verdict=0
for expected in "$folder"/expected/*; do
  name=$(basename "$expected")
  [ "$name" = report.txt ] && continue
  echo "--- $name: what changed (CR LF, zero bytes and the end mark not shown)"
  show "$scratch/before/$name" > "$scratch/before.txt" 2>/dev/null || : > "$scratch/before.txt"
  show "$name" > "$scratch/after.txt"
  diff "$scratch/before.txt" "$scratch/after.txt" || true
  if cmp -s "$name" "$expected"; then
    echo "--- $name is byte for byte as in expected/$name"
  else
    echo "--- $name differs from expected/$name"
    verdict=1
  fi
done
[ "$status" -eq 0 ] && exit "$verdict"
exit "$status"
