#!/usr/bin/env bash
# Makes the seed corpora of the harnesses from the shipped example, the instruction files in
# fuzz/instructions and the real start-up and configuration files of ../shared/corpus (when it
# is there). Usage: fuzz/make_seeds.sh OUTPUT_FOLDER  (makes OUTPUT/whole_run, OUTPUT/load_write,
# and OUTPUT/many_commands and OUTPUT/namings, whose jobs are made from any bytes: a few seeds of
# random bytes)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=$1
mkdir -p "$out/whole_run" "$out/load_write" "$out/many_commands" "$out/namings"
for n in 1 2 3 4; do
  head -c $((n * 64)) /dev/urandom > "$out/many_commands/seed-$n"
  head -c $((n * 32)) /dev/urandom > "$out/namings/seed-$n"
done

targets=("$root"/examples/AUTOEXEC.BAT)
if [[ -d $root/../shared/corpus ]]; then
  for file in "$root"/../shared/corpus/*; do
    [[ $(basename "$file") == SOURCES.md ]] || targets+=("$file")
  done
fi
instructions=("$root"/examples/*.ZT "$root"/fuzz/instructions/*.zt)

n=0
for target in "${targets[@]}"; do
  # The load/write harness: the first byte 0 stores the target as it is.
  { printf '\000'; cat "$target"; } > "$out/load_write/seed-$n"
  for instruction in "${instructions[@]}"; do
    { cat "$instruction"; printf '\000ZT\000'; cat "$target"; } > "$out/whole_run/seed-$n-$(basename "$instruction")"
  done
  n=$((n + 1))
done
# Two targets at once, each instruction file with the first two targets.
for instruction in "${instructions[@]}"; do
  { cat "$instruction"; printf '\000ZT\000'; cat "${targets[0]}"; printf '\000ZT\000'
    cat "${targets[-1]}"; } > "$out/whole_run/seed-two-$(basename "$instruction")"
done
