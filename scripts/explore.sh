#!/usr/bin/env bash
# Runs every client's explorer of event orders (the tests named <Suite>Explorer.*) for
# EXPLORE_RUNS seeds each (default 2000), each explorer's seeds split across the cores, from a
# first seed drawn at random (EXPLORE_BASE fixes it, to run the same seeds again). Prints each
# shrunk failing row with its seed, and the sequences run per client with the time per thousand
# (on one core); exits non-zero if any sequence failed or any run ended early.
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${EXPLORE_RUNS:-2000}
jobs=${JOBS:-$(nproc)}
build=build/${PRESET:-default}
base=${EXPLORE_BASE:-$(( (RANDOM * 32768 + RANDOM) * 100000 ))}
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

tasks=$out/tasks
: >"$tasks"
for bin in "$build"/sdk/*/*_tests; do
  [ -x "$bin" ] || continue
  suite=""
  while IFS= read -r entry; do
    case "$entry" in
      [!\ ]*) suite=${entry%%#*}; suite=${suite// /} ;;
      *) test=${entry%%#*}; test=${test// /}
         chunk=$(( (runs + jobs - 1) / jobs ))
         for ((first = 0; first < runs; first += chunk)); do
           n=$(( runs - first < chunk ? runs - first : chunk ))
           echo "$bin $suite$test $(( base + first )) $n" >>"$tasks"
         done ;;
    esac
  done < <("$bin" --gtest_list_tests --gtest_filter='*Explorer.*' | tail -n +1)
done
if [ ! -s "$tasks" ]; then echo "no explorer found under $build: run make build first" >&2; exit 1; fi

echo "exploring $runs sequences per explorer from seed $base on $jobs cores (EXPLORE_BASE=$base repeats them)"
started=$(date +%s)
i=0
while read -r bin test first n; do
  i=$((i + 1))
  echo "$i $bin $test $first $n"
done <"$tasks" | xargs -P "$jobs" -L 1 bash -c '
  EXPLORE_RUNS=$4 EXPLORE_FIRST_SEED=$3 "$1" --gtest_filter="$2" >"'"$out"'/$0.log" 2>&1
  echo $? >"'"$out"'/$0.rc"'

status=0
for rc in "$out"/*.rc; do
  log=${rc%.rc}.log
  if grep -q "^explore: .* fails: " "$log"; then
    status=1
  elif [ "$(cat "$rc")" != 0 ]; then
    status=1
    echo "an explorer run ended early:"
    grep "^explore: .* crashed" "$log" || tail -20 "$log"
  fi
done
grep -h "^explore: .* fails: " "$out"/*.log | sort -u || true
grep -h "^explore: .* ran " "$out"/*.log |
  sed -E 's/^explore: (.*) ran ([0-9]+) sequences from seed [0-9]+ in ([0-9.]+) s .*, ([0-9]+) failing$/\1|\2|\3|\4/' | awk -F'|' '
  { n[$1] += $2; t[$1] += $3; f[$1] += $4 }
  END { for (c in n) printf "%s: %d sequences, %.1f s per thousand on one core, %d failing causes\n", c, n[c], t[c] * 1000 / n[c], f[c] }' | sort
echo "explored in $(( $(date +%s) - started )) s of wall time"
exit $status
