#!/usr/bin/env bash
# Generates a large PLA file of random cube lines under /tmp (about SIZE_MB
# megabytes, default 1024), runs both programs on it under an address-space
# limit, prints each one's exit status, time and peak memory, and deletes the
# file. Not part of CI: it needs several GB of memory and minutes of CPU.
#
#   fuzz/big_file_check.sh [SIZE_MB]
#
# Environment: LIMIT_KB (address-space limit, default 16 GiB; the programs
# then answer "Out of memory" instead of meeting the kernel's OOM killer),
# SECONDS_EACH (time limit per program, default 1800), INPUTS (default 40),
# OUTPUTS (default 8), DASH (probability of '-', default 0).
set -euo pipefail
cd "$(dirname "$0")/.."
size_mb=${1:-1024}
limit_kb=${LIMIT_KB:-16777216}
seconds=${SECONDS_EACH:-1800}
inputs=${INPUTS:-40}
outputs=${OUTPUTS:-8}
dash=${DASH:-0}

df -h /tmp
free_kb=$(df -Pk /tmp | awk 'NR == 2 { print $4 }')
if [ "$free_kb" -lt $((size_mb * 1024 * 2)) ]; then
  echo "not enough space in /tmp for ${size_mb} MB (twice that is wanted)" >&2
  exit 1
fi

cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j2 --target tavro tavro-direct >/dev/null

file=$(mktemp /tmp/tavro_big_XXXXXX.pla)
out=$(mktemp /tmp/tavro_big_out_XXXXXX)
trap 'rm -f "$file" "$out" "$out.err"' EXIT
cubes=$((size_mb * 1024 * 1024 / (inputs + outputs + 2)))
echo "== generating $cubes cube lines ($inputs inputs, $outputs outputs, dash $dash) in $file"
python3 bench/gen_pla.py random --inputs "$inputs" --outputs "$outputs" --cubes "$cubes" \
  --dash "$dash" -o "$file"
ls -l "$file"

for program in tavro tavro-direct; do
  echo "== $program (address space at most $limit_kb KiB, $seconds s at most)"
  status=0
  (
    ulimit -v "$limit_kb"
    exec /usr/bin/time -f "wall %e s, user %U s, system %S s, peak memory %M KiB" \
      timeout -s KILL "$seconds" "build/$program" "$file"
  ) >"$out" 2>"$out.err" || status=$?
  echo "exit status $status"
  tail -n 3 "$out.err"
  head -n 1 "$out"
  tail -n 1 "$out"
  echo "result lines: $(($(wc -l <"$out") - 2))"
done
