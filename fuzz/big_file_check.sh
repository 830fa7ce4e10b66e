#!/usr/bin/env bash
# Generates a large PLA file of random cube lines under /tmp (about SIZE_MB
# megabytes, default 1024), runs the phase benchmark and both programs on it
# under an address-space limit, and deletes the file. For the phase benchmark
# it prints the CPU seconds of load, reduction and search, its peak memory and
# the checksum of its result lines; for each program and thread count its exit status, time,
# CPU seconds, peak memory and peak memory over the file's size, and the
# checksum of its result lines; then whether the two programs' result lines
# are the same, or at least name the same tautologies. Not part of CI: it needs several GB of memory and minutes of
# CPU.
#
#   fuzz/big_file_check.sh [SIZE_MB]
#
# Environment: LIMIT_KB (address-space limit, default 16 GiB; the programs
# then answer "Out of memory" instead of meeting the kernel's OOM killer),
# SECONDS_EACH (time limit per program, default 1800), INPUTS (default 40),
# OUTPUTS (default 8), DASH (probability of '-', default 0), BUILD (build
# folder, default build), THREADS (the thread counts each program runs with,
# default "1 2"; every count must print the same lines).
set -euo pipefail
cd "$(dirname "$0")/.."
size_mb=${1:-1024}
limit_kb=${LIMIT_KB:-16777216}
seconds=${SECONDS_EACH:-1800}
inputs=${INPUTS:-40}
outputs=${OUTPUTS:-8}
dash=${DASH:-0}
build=${BUILD:-build}
threads=${THREADS:-1 2}

df -h /tmp
free_kb=$(df -Pk /tmp | awk 'NR == 2 { print $4 }')
if [ "$free_kb" -lt $((size_mb * 1024 * 2)) ]; then
  echo "not enough space in /tmp for ${size_mb} MB (twice that is wanted)" >&2
  exit 1
fi

cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j2 --target tavro tavro-direct tavro-phases-bench >/dev/null

file=$(mktemp /tmp/tavro_big_XXXXXX.pla)
out=$(mktemp /tmp/tavro_big_out_XXXXXX)
trap 'rm -f "$file" "$out" "$out.err"' EXIT
cubes=$((size_mb * 1024 * 1024 / (inputs + outputs + 2)))
echo "== generating $cubes cube lines ($inputs inputs, $outputs outputs, dash $dash) in $file"
python3 bench/gen_pla.py random --inputs "$inputs" --outputs "$outputs" --cubes "$cubes" \
  --dash "$dash" -o "$file"
ls -l "$file"
file_bytes=$(stat -c %s "$file")

# The checksum of a complete run's result lines, as bench/run prints it.
result_checksum() {
  python3 -c 'import sys; sys.path.insert(0, "bench"); import run_bench
print(run_bench.result_checksum(open(sys.argv[1], "rb").read()))' "$1"
}

echo "== tavro-phases-bench (address space at most $limit_kb KiB, $seconds s at most)"
status=0
(
  ulimit -v "$limit_kb"
  exec timeout -s KILL "$seconds" "$build/bench/tavro-phases-bench" "$file"
) >"$out" 2>"$out.err" || status=$?
echo "exit status $status"
phases_checksum=-
if [ "$status" -eq 0 ]; then
  # peak_rss_mb is taken at the end, after the benchmark has read the whole
  # file once more to count its cube lines; load_peak_rss_mb is the load's.
  awk -v bytes="$file_bytes" '
    { v[$1] = $2 }
    END {
      printf "load %s s, reduce %s s, search %s s (CPU)\n", v["load_seconds"], v["reduce_seconds"], v["search_seconds"]
      printf "peak memory after the load %s MB (%.2f of the file), at the end %s MB (%.2f of the file)\n",
        v["load_peak_rss_mb"], v["load_peak_rss_mb"] * 1048576 / bytes, v["peak_rss_mb"], v["peak_rss_mb"] * 1048576 / bytes
    }' "$out"
  phases_checksum=$(awk '$1 == "checksum" { print $2 }' "$out")
  echo "checksum $phases_checksum"
else
  tail -n 3 "$out.err"
fi

declare -A checksum answers
for run in $(for program in tavro tavro-direct; do for j in $threads; do echo "$program:$j"; done; done); do
  program=${run%:*}
  j=${run#*:}
  echo "== $program -j $j (address space at most $limit_kb KiB, $seconds s at most)"
  status=0
  (
    ulimit -v "$limit_kb"
    exec /usr/bin/time -f "wall %e s, user %U s, system %S s, peak memory %M KiB" \
      timeout -s KILL "$seconds" "$build/$program" -j "$j" "$file"
  ) >"$out" 2>"$out.err" || status=$?
  echo "exit status $status"
  tail -n 3 "$out.err"
  if [ "$status" -eq 0 ]; then
    head -n 1 "$out"
    tail -n 1 "$out"
    echo "result lines: $(($(wc -l <"$out") - 2))"
  else
    echo "standard output: $(wc -c <"$out") bytes"
  fi
  times=$(grep '^wall ' "$out.err" | tail -n 1 || true)
  if [ -n "$times" ]; then
    awk -v bytes="$file_bytes" '{
      printf "cpu %.2f s (user + system), peak memory over file size %.2f\n", $5 + $8, $12 * 1024 / bytes
    }' <<<"$times"
  fi
  sum=-
  if [ "$status" -eq 0 ]; then
    sum=$(result_checksum "$out")
    echo "checksum $sum"
  fi
  # Every thread count must print the same lines as the first.
  if [ -z "${checksum[$program]+set}" ]; then
    checksum[$program]=$sum
    if [ "$status" -eq 0 ]; then
      # Which outputs are tautologies: the two programs must agree on it, though
      # their witnesses may differ (the reduction changes the covers).
      answers[$program]=$(sed '1d;$d' "$out" | awk '{ printf "%s", ($0 == "tautology" ? "T" : "w") }')
    fi
  elif [ "$sum" != "${checksum[$program]}" ]; then
    echo "$program -j $j: the result lines DIFFER from those of -j ${threads%% *}"
  fi
done

echo "== results"
if [ "${checksum[tavro]}" = - ] || [ "${checksum[tavro-direct]}" = - ]; then
  echo "not compared: a program did not end with status 0"
elif [ "${checksum[tavro]}" = "${checksum[tavro-direct]}" ]; then
  echo "tavro and tavro-direct: the same result lines"
elif [ "${answers[tavro]}" = "${answers[tavro-direct]}" ]; then
  echo "tavro and tavro-direct: the same tautologies, other witnesses (the reduction changes the covers)"
else
  echo "tavro and tavro-direct: the tautologies DIFFER"
fi
if [ "$phases_checksum" != - ] && [ "${checksum[tavro]}" != - ] \
  && [ "$phases_checksum" != "${checksum[tavro]}" ]; then
  echo "tavro-phases-bench's checksum DIFFERS from tavro's"
fi
