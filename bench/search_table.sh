#!/usr/bin/env bash
# Figures of the direct program and of the plain search on the benchmark files:
#  1. CPU time and peak memory of tavro-direct on every file of pla/ (with
#     pla/fr/) and reflowed/: total and the five slowest;
#  2. search branches per output on a few tautology instances of
#     derived/onoff/, each file stopped after LIMIT seconds (default 60);
#  3. peak memory on the largest files.
# Usage: bench/search_table.sh [build folder]   (default: build)
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
bench=$root/../shared/bench
limit=${LIMIT:-60}
direct=$build/tavro-direct
search=$build/tavro-search-bench
[ -d "$bench" ] || { echo "no benchmark folder at $bench" >&2; exit 1; }
[ -x "$direct" ] && [ -x "$search" ] || { echo "build tavro-direct and tavro-search-bench first" >&2; exit 1; }
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

echo "== tavro-direct on pla/ and reflowed/ (CPU seconds = user + system, stopped after ${limit} s)"
: > "$tmp/times"
while IFS= read -r f; do
  /usr/bin/time -f '%U %S %M' -o "$tmp/t" timeout "$limit" "$direct" "$f" > /dev/null 2>&1
  status=$?
  read -r user sys rss < <(tail -1 "$tmp/t")
  note=""
  [ "$status" -eq 124 ] && note="stopped"
  echo "$(awk -v u="$user" -v s="$sys" 'BEGIN { printf "%.2f", u + s }') $rss ${f#"$bench"/} $note" >> "$tmp/times"
done < <(find "$bench/pla" "$bench/reflowed" -name '*.pla' | sort)
awk '{ s += $1; n++ } END { printf "files %d  total CPU %.2f s\n", n, s }' "$tmp/times"
awk '$4 == "" { s += $1; n++ } END { printf "without stopped runs: files %d  total CPU %.2f s\n", n, s }' "$tmp/times"
echo "five slowest (CPU s, peak RSS KiB, file):"
sort -rn "$tmp/times" | head -5 | sed 's/^/  /'

echo
echo "== search branches per output on derived/onoff/ (stopped after ${limit} s per file)"
for name in 9sym rd84 t481 alu4 cordic misex3; do
  f=$bench/derived/onoff/$name.pla
  [ -f "$f" ] || continue
  timeout "$limit" "$search" "$f" > "$tmp/s" 2>&1
  [ $? -eq 124 ] && echo "(stopped after ${limit} s)" >> "$tmp/s"
  sed 's/^/  /' "$tmp/s"
done

echo
echo "== peak memory on the largest files"
for f in "$bench/pla/b12_split.pla" "$bench/pla/fr/test2.pla" "$bench/pla/alu4_split.pla"; do
  /usr/bin/time -f '%M' -o "$tmp/t" timeout "$limit" "$direct" "$f" > /dev/null 2>&1
  echo "  $(tail -1 "$tmp/t") KiB peak RSS  ${f#"$bench"/} ($(grep -c . "$f") lines)"
done
