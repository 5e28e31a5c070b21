#!/usr/bin/env bash
# Every Message and Plan method against raw SQLite, at both data sizes
# (10,000 and 1,000,000 messages; 20,000 and 200,000 plans), with
# repetitions, as one table: each method's time per call (median CPU time),
# its raw side's, and their ratio (median over the repetitions, each
# repetition's component run divided by the same repetition's raw run, with
# the lowest and highest ratio), against its goal. A repetition is a round
# of bench/support/bench_rounds.h: the sides of one method and size run back
# to back in a random order, the methods of a round in a random order, so
# each ratio compares two runs made in the same machine state. Goals:
#   InceptMsg, GetFriendList, trackMsg, track at 1,000,000 messages: within
#     2x of the hand-written query over its best index ("best");
#   GetPageData at 200,000 plans: within 3x of COUNT plus LIMIT/OFFSET;
#   every other method: within 1.3x of raw SQLite running its statements.
# GetAllData's page faults per call show whether a call maps fresh memory.
#
#   bash bench/method_goals.sh [BUILD_DIR]     (default build-rel)
#
# BUILD_DIR needs bench/plan_bench and bench/message_bench (a Release build
# with -DKORIMBA_BUILD_BENCH=ON). REPS sets the rounds (5), MIN_TIME the
# seconds each read runs per repetition (0.3), FILTER a regular expression
# of the methods to run (all); LARGE=0 leaves out the large sizes. The
# generated databases are made on the first run (a few minutes for the
# large ones) and reused. Times are CPU times, steadier than wall time on a
# shared machine.
set -euo pipefail

build=${1:-build-rel}
reps=${REPS:-5}
min_time=${MIN_TIME:-0.3}
filter=${FILTER:-.}
large=${LARGE:-1}
for program in plan_bench message_bench; do
  [[ -x $build/bench/$program ]] || { echo "method_goals: $build/bench/$program is not built" >&2; exit 1; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

for program in plan_bench message_bench; do
  echo "Running $program ($reps rounds) ..." >&2
  KORIMBA_BENCH_LARGE=$large KORIMBA_BENCH_ROUNDS=$reps KORIMBA_BENCH_CSV="$work/$program.csv" \
    "$build/bench/$program" --benchmark_filter="$filter" --benchmark_min_time="$min_time" >&2
done

# The CSV rows of single repetitions: name, iterations, real, cpu, unit, ...
# and the counters at the end (GetAllData's faults).
cat "$work/plan_bench.csv" "$work/message_bench.csv" | awk -F, '
  function median(list, n,    i, j, t, a) {
    for (i = 1; i <= n; ++i) a[i] = list[i]
    for (i = 2; i <= n; ++i) for (j = i; j > 1 && a[j - 1] > a[j]; --j) { t = a[j]; a[j] = a[j - 1]; a[j - 1] = t }
    return n % 2 ? a[(n + 1) / 2] : (a[n / 2] + a[n / 2 + 1]) / 2
  }
  function micros(value, unit) {
    return unit == "ns" ? value / 1000 : unit == "ms" ? value * 1000 : unit == "s" ? value * 1e6 : value
  }
  /^name,/ {
    for (i = 1; i <= NF; ++i) { field = $i; gsub(/"/, "", field); column[field] = i }
    next
  }
  /^"/ {
    name = $1; gsub(/"/, "", name)
    if (name ~ /_(mean|median|stddev|cv)$/ || $column["error_occurred"] == "true") next
    sub(/\/iterations:[0-9]+/, "", name)
    n = split(name, part, "/")
    if (name ~ /^BM_Plan_/) { method = "Plan." substr(part[1], 9); side = "component" }
    else if (name ~ /^BM_Raw_/) { method = "Plan." substr(part[1], 8); side = method == "Plan.GetPageData" ? "best" : "raw" }
    else if (n == 3) { method = "Message." part[1]; side = part[2] }
    else next
    size = part[n]
    key = method SUBSEP size
    if (!(key in seen)) { seen[key] = 1; order[++keys] = key }
    k = key SUBSEP side
    count[k]++
    time[k, count[k]] = micros($column["cpu_time"], $column["time_unit"])
    if (("faults" in column) && $column["faults"] != "") faults[k] = $column["faults"]
  }
  END {
    printf "%-23s %8s %12s %12s %-5s %-24s %6s %s\n", "method", "rows", "ours (us)", "other (us)", "vs", "ratio median [min-max]", "goal", ""
    for (o = 1; o <= keys; ++o) {
      split(order[o], kk, SUBSEP); method = kk[1]; size = kk[2]
      c = order[o] SUBSEP "component"
      if (!count[c]) continue
      goal = 1.3; against = "raw"
      if (method == "Plan.GetPageData") { goal = 3; against = "best" }
      if (method ~ /^Message\.(InceptMsg|GetFriendList|trackMsg|track)$/ && size == 1000000) { goal = 2; against = "best" }
      for (s = 1; s <= 2; ++s) {
        other = s == 1 ? "raw" : "best"
        r = order[o] SUBSEP other
        if (!count[r]) continue
        m = count[c] < count[r] ? count[c] : count[r]
        lo = 1e99; hi = 0
        for (i = 1; i <= m; ++i) {
          ratio[i] = time[c, i] / time[r, i]
          if (ratio[i] < lo) lo = ratio[i]
          if (ratio[i] > hi) hi = ratio[i]
        }
        for (i = 1; i <= count[c]; ++i) tc[i] = time[c, i]
        for (i = 1; i <= count[r]; ++i) tr[i] = time[r, i]
        med = median(ratio, m)
        shown_goal = other == against ? sprintf("%.1fx", goal) : ""
        verdict = other == against ? (med <= goal ? "ok" : "MISSED") : ""
        extra = (method ~ /GetAllData/ && (c in faults)) ? sprintf("  faults/call %.0f against %.0f", faults[c], faults[r]) : ""
        spread = sprintf("%.2f [%.2f-%.2f]", med, lo, hi)
        printf "%-23s %8s %12.1f %12.1f %-5s %-24s %6s %s%s\n", method, size, median(tc, count[c]), median(tr, count[r]), other, spread, shown_goal, verdict, extra
      }
    }
  }'
