#!/usr/bin/env bash
# The pages under load. Builds the large office (200 persons, 100,000
# messages, 20,000 plans, person 1 owning 1,000 of them; the generated files
# are cached under $KORIMBA_BENCH_DIR or /tmp/korimba-bench), starts
# `korimba serve` on a free loopback port with pick sign-in, signs in as
# person 1 and runs wrk over each page at concurrency 1, 8 and 64, REPEAT
# times over. Then serves an office of PLANS_LARGE plans (200,000; person 1
# owning 10,000) and runs the plan list's pages 1 and 100 at concurrency 1
# on it, REPEAT times. Prints a table of requests per second, p50 and p99 per
# page, concurrency and round, then the goals: each page's time per request
# at concurrency 1 against the stylesheet's (within 10x), p99 at the highest
# concurrency (under 50 ms), the server's peak private memory over the whole
# load run (under 64 MB), the plan list's page 100 against page 1 and the
# large office against the usual one (each within 2x), as the median ratio
# over the rounds with its lowest and highest; stops the servers.
#
#   bash bench/http_bench.sh [BUILD_DIR]     (default build-rel)
#
# BUILD_DIR needs `korimba` and `bench/make_office` (a Release build with
# -DKORIMBA_BUILD_BENCH=ON). DURATION sets the seconds of each run (5),
# CONCURRENCY the list of concurrencies ("1 8 64"), OFFICE the sizes
# ("200 100000 20000": persons, messages, plans), REPEAT the rounds (3),
# PLANS_LARGE the plans of the second office ("" leaves it out), PAGES a
# regular expression of the page names to run (all; the stylesheet always
# runs, as every page's time is compared with it).
#
# The "cpu ms" column is the server's own CPU time (user plus system, from
# /proc) per answered request over the run: unlike the wall-clock figures it
# stays steady when other work loads the machine, so it shows what a change
# to a page saves.
set -euo pipefail

build=${1:-build-rel}
duration=${DURATION:-5}
read -r -a levels <<<"${CONCURRENCY:-1 8 64}"
read -r -a sizes <<<"${OFFICE:-200 100000 20000}"
rounds=${REPEAT:-3}
plans_large=${PLANS_LARGE-200000}
page_filter=${PAGES:-.}
ticks=$(getconf CLK_TCK)
for tool in wrk curl; do
  command -v "$tool" >/dev/null || { echo "http_bench: $tool is missing (scripts/setup.sh installs it)" >&2; exit 1; }
done
for program in "$build/korimba" "$build/bench/make_office"; do
  [[ -x $program ]] || { echo "http_bench: $program is not built" >&2; exit 1; }
done

bench_dir=${KORIMBA_BENCH_DIR:-/tmp/korimba-bench}
mkdir -p "$bench_dir"
work=$(mktemp -d)
server_pid=""
cleanup() {
  if [[ -n $server_pid ]] && kill -0 "$server_pid" 2>/dev/null; then
    kill -TERM "$server_pid"
    wait "$server_pid" 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT

# Serves the office in $OFFICE and signs in as person 1: sets base, cookie and
# server_pid.
serve() {
  mkdir -p "$work/files"
  "$build/korimba" serve --db "sqlite:$OFFICE" --listen 127.0.0.1:0 --auth pick \
    --attachments "$work/files" --access-log /dev/null >"$work/serve.out" 2>"$work/serve.err" &
  server_pid=$!
  base=""
  for _ in $(seq 1 300); do
    base=$(sed -n 's|^Korimba pages at \(http://[^ ]*\)/$|\1|p' "$work/serve.out")
    [[ -n $base ]] && break
    kill -0 "$server_pid" 2>/dev/null || { cat "$work/serve.err" >&2; exit 1; }
    sleep 0.1
  done
  [[ -n $base ]] || { echo "http_bench: the server did not start" >&2; exit 1; }
  # Pick sign-in as person 1: the form's token, then the session's cookie.
  local jar="$work/cookies"
  rm -f "$jar"
  local token
  token=$(curl -s -c "$jar" "$base/signin" | sed -n 's/.*name="token" value="\([0-9a-f]*\)".*/\1/p' | head -1)
  curl -s -b "$jar" -c "$jar" -o /dev/null -d "person=1&token=$token" "$base/signin"
  cookie=$(awk '!/^#/ && NF >= 7 {c = $6 "=" $7} /^#HttpOnly_/ {c = $6 "=" $7} END {print c}' "$jar")
  local status
  status=$(curl -s -o /dev/null -w '%{http_code}' -H "Cookie: $cookie" "$base/")
  [[ $status == 200 ]] || { echo "http_bench: sign-in failed (home answered $status)" >&2; exit 1; }
}

# The server's private memory (RssAnon: its heap and stacks, without the
# pages of the database file it maps, which the kernel shares and may drop),
# sampled every 0.2 s; the highest sample ends in $work/anon_peak.
sample_memory() {
  local peak=0 kb
  while kill -0 "$server_pid" 2>/dev/null; do
    kb=$(awk '/^RssAnon:/ {print $2}' "/proc/$server_pid/status" 2>/dev/null || echo 0)
    ((kb > peak)) && peak=$kb && echo "$peak" >"$work/anon_peak"
    sleep 0.2
  done
}

stop_server() {
  kill -TERM "$server_pid"
  wait "$server_pid" 2>/dev/null || true
  server_pid=""
}

# Every page must answer 200 before it is measured.
check_pages() {
  local entry path status
  for entry in "$@"; do
    path=${entry#*|}
    status=$(curl -s -o /dev/null -w '%{http_code}' -H "Cookie: $cookie" "$base$path")
    [[ $status == 200 ]] || { echo "http_bench: $path answered $status" >&2; exit 1; }
  done
}

echo "Building the office (${sizes[*]}) ..." >&2
eval "$("$build/bench/make_office" "$bench_dir/http_office.db" "${sizes[@]}")"
serve
sample_memory &
sampler_pid=$!

pages=(
  "stylesheet|/static/style.css"
  "home|/"
  "conversation|/messages?with=$PARTNER"
  "month view|/calendar/month?date=$PLAN_MONTH"
  "plan list p1|/plans"
  "plan list p100|/plans?page=100"
  "online|/online"
  "history|/history"
  "history p10|/history?page=10"
  "tracking|/tracking"
  "search|/search?q=report"
  "week view|/calendar/week?date=$PLAN_MONTH"
  "day view|/calendar/moment?at=${PLAN_MONTH}T10:00"
)
[[ -n $GROUP_MINUTE ]] && pages+=("tracking minute|/tracking/minute?m=${GROUP_MINUTE/ /%20}")
chosen=()
for entry in "${pages[@]}"; do
  name=${entry%%|*}
  [[ $name == stylesheet || $name =~ $page_filter ]] && chosen+=("$entry")
done
pages=("${chosen[@]}")
check_pages "${pages[@]}"

# wrk's latency in milliseconds.
to_ms() {
  awk -v v="$1" 'BEGIN {
    n = v + 0; u = v; sub(/^[0-9.]+/, "", u)
    if (u == "us") n /= 1000; else if (u == "s") n *= 1000; else if (u == "m") n *= 60000
    printf "%.2f", n }'
}

# The server's CPU time so far, in clock ticks (user plus system).
server_ticks() {
  awk '{print $14 + $15}' "/proc/$server_pid/stat"
}

# One wrk run: prints its line and appends
# "office|round|page|conc|rate|p50|p99|errors|cpu" to the results.
results="$work/results"
measure() {
  local office=$1 round=$2 name=$3 path=$4 c=$5
  local threads=$((c < 2 ? c : 2))
  local out rate p50 p99 errors before after requests cpu
  before=$(server_ticks)
  out=$(wrk --latency -t "$threads" -c "$c" -d "${duration}s" -H "Cookie: $cookie" "$base$path")
  after=$(server_ticks)
  requests=$(awk '/requests in/ {print $1}' <<<"$out")
  cpu=$(awk -v t=$((after - before)) -v n="${requests:-0}" -v hz="$ticks" \
    'BEGIN { printf "%.3f", (n > 0 ? t * 1000 / hz / n : 0) }')
  rate=$(awk '/^Requests\/sec:/ {print $2}' <<<"$out")
  p50=$(to_ms "$(awk '$1 == "50%" {print $2}' <<<"$out")")
  p99=$(to_ms "$(awk '$1 == "99%" {print $2}' <<<"$out")")
  errors=$(awk '/Non-2xx/ {n += $NF} /Socket errors/ {n += 1} END {print n + 0}' <<<"$out")
  printf '%-8s %5s %-16s %5s %10s %9s %9s %7s %8s\n' "$office" "$round" "$name" "$c" "$rate" "$p50" "$p99" "$errors" "$cpu"
  echo "$office|$round|$name|$c|$rate|$p50|$p99|$errors|$cpu" >>"$results"
}

printf '%-8s %5s %-16s %5s %10s %9s %9s %7s %8s\n' office round page conc 'req/s' 'p50 ms' 'p99 ms' errors 'cpu ms'
for round in $(seq 1 "$rounds"); do
  for entry in "${pages[@]}"; do
    for c in "${levels[@]}"; do
      measure usual "$round" "${entry%%|*}" "${entry#*|}" "$c"
    done
  done
done
peak_kb=$(awk '/^VmHWM:/ {print $2}' "/proc/$server_pid/status")
stop_server
wait "$sampler_pid" 2>/dev/null || true
anon_kb=$(cat "$work/anon_peak" 2>/dev/null || echo 0)

if [[ -n $plans_large && " ${pages[*]}" == *"|/plans"* ]]; then
  echo "Building the office (${sizes[0]} ${sizes[1]} $plans_large) ..." >&2
  eval "$("$build/bench/make_office" "$bench_dir/http_office_plans.db" "${sizes[0]}" "${sizes[1]}" "$plans_large")"
  serve
  large_pages=("plan list p1|/plans" "plan list p100|/plans?page=100")
  check_pages "${large_pages[@]}"
  for round in $(seq 1 "$rounds"); do
    for entry in "${large_pages[@]}"; do
      measure large "$round" "${entry%%|*}" "${entry#*|}" "${levels[0]}"
    done
  done
  stop_server
fi

# The goals, each as the median over the rounds with the lowest and highest.
echo
echo "server peak private memory: $((anon_kb / 1024)) MB (RssAnon sampled over the whole load run; goal under 64 MB)"
echo "server peak resident memory: $((peak_kb / 1024)) MB (VmHWM, the mapped database file's pages included)"
awk -F'|' -v low="${levels[0]}" -v high="${levels[${#levels[@]}-1]}" -v rounds="$rounds" '
  function median(list, n,   a, i, j, t) {
    n = split(list, a, " ")
    for (i = 1; i <= n; i++) for (j = i + 1; j <= n; j++) if (a[j] < a[i]) { t = a[i]; a[i] = a[j]; a[j] = t }
    lo = a[1]; hi = a[n]
    return n % 2 ? a[(n + 1) / 2] : (a[n / 2] + a[n / 2 + 1]) / 2
  }
  # The ratio of the times per request (the inverse of the rates) of b to a,
  # round by round.
  function ratios(a, b,   r, out) {
    out = ""
    for (r = 1; r <= rounds; r++) if (rate[b, r] > 0 && rate[a, r] > 0) out = out " " rate[a, r] / rate[b, r]
    return out
  }
  function row(figure, floor, list, goal, limit,   m) {
    if (list == "") return
    m = median(list)
    printf "%-30s %-26s %7.2f %15s %8s %s\n", figure, floor, m, sprintf("%.2f-%.2f", lo, hi), goal, (hi <= limit ? "met" : (m <= limit ? "median met" : "MISSED"))
  }
  {
    key = $1 "|" $3 "|" $4
    rate[key, $2] = $5
    cpu[key] = cpu[key] " " $9
    p99[key] = p99[key] " " $7
    if (!(key in seen)) { seen[key] = 1; order[++n] = key }
  }
  END {
    printf "%-30s %-26s %7s %15s %8s %s\n", "figure", "against", "median", "low-high", "goal", ""
    for (i = 1; i <= n; i++) {
      split(order[i], k, "|")
      if (k[1] != "usual" || k[3] != low || k[2] == "stylesheet") continue
      row(k[2] " time, c=" low, "stylesheet, c=" low, ratios("usual|stylesheet|" low, order[i]), "<= 10x", 10)
    }
    for (i = 1; i <= n; i++) {
      split(order[i], k, "|")
      if (k[1] != "usual" || k[3] != high) continue
      if (p99[order[i]] == "") continue
      m = median(p99[order[i]])
      printf "%-30s %-26s %7.2f %15s %8s %s\n", k[2] " p99 ms, c=" high, "-", m, sprintf("%.2f-%.2f", lo, hi), "< 50 ms", (hi < 50 ? "met" : (m < 50 ? "median met" : "MISSED"))
    }
    for (i = 1; i <= n; i++) {
      split(order[i], k, "|")
      if (k[1] != "usual" || k[3] != low || cpu[order[i]] == "") continue
      m = median(cpu[order[i]])
      printf "%-30s %-26s %7.3f %15s %8s %s\n", k[2] " cpu ms, c=" low, "-", m, sprintf("%.3f-%.3f", lo, hi), "-", ""
    }
    row("plan list p100 time", "plan list p1", ratios("usual|plan list p1|" low, "usual|plan list p100|" low), "<= 2x", 2)
    row("p1 time, large office", "p1, usual office", ratios("usual|plan list p1|" low, "large|plan list p1|" low), "<= 2x", 2)
    row("p100 time, large office", "p100, usual office", ratios("usual|plan list p100|" low, "large|plan list p100|" low), "<= 2x", 2)
  }' "$results"
