#!/usr/bin/env bash
# The pages under load. Builds the large office (200 persons, 100,000
# messages, 20,000 plans, person 1 owning 1,000 of them; the generated files
# are cached under $KORIMBA_BENCH_DIR or /tmp/korimba-bench), starts
# `korimba serve` on a free loopback port with pick sign-in, signs in as
# person 1 and runs wrk over each page at concurrency 1, 8 and 64. Prints a
# table of requests per second, p50 and p99 per page and concurrency, each
# page's time per request at concurrency 1 against the stylesheet's, and the
# server's peak resident memory over the whole run; stops the server.
#
#   bash bench/http_bench.sh [BUILD_DIR]     (default build-rel)
#
# BUILD_DIR needs `korimba` and `bench/make_office` (a Release build with
# -DKORIMBA_BUILD_BENCH=ON). DURATION sets the seconds of each run (5),
# CONCURRENCY the list of concurrencies ("1 8 64"), OFFICE the sizes
# ("200 100000 20000": persons, messages, plans).
set -euo pipefail

build=${1:-build-rel}
duration=${DURATION:-5}
read -r -a levels <<<"${CONCURRENCY:-1 8 64}"
read -r -a sizes <<<"${OFFICE:-200 100000 20000}"
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

echo "Building the office (${sizes[*]}) ..." >&2
eval "$("$build/bench/make_office" "$bench_dir/http_office.db" "${sizes[@]}")"

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
jar="$work/cookies"
token=$(curl -s -c "$jar" "$base/signin" | sed -n 's/.*name="token" value="\([0-9a-f]*\)".*/\1/p' | head -1)
curl -s -b "$jar" -c "$jar" -o /dev/null -d "person=1&token=$token" "$base/signin"
cookie=$(awk '!/^#/ && NF >= 7 {c = $6 "=" $7} /^#HttpOnly_/ {c = $6 "=" $7} END {print c}' "$jar")
status=$(curl -s -o /dev/null -w '%{http_code}' -H "Cookie: $cookie" "$base/")
[[ $status == 200 ]] || { echo "http_bench: sign-in failed (home answered $status)" >&2; exit 1; }

pages=(
  "stylesheet|/static/style.css"
  "home|/"
  "conversation|/messages?with=$PARTNER"
  "month view|/calendar/month?date=$PLAN_MONTH"
  "plan list p1|/plans"
  "plan list p100|/plans?page=100"
  "online|/online"
  "history|/history"
  "tracking|/tracking"
)
[[ -n $GROUP_MINUTE ]] && pages+=("tracking minute|/tracking/minute?m=${GROUP_MINUTE/ /%20}")
for entry in "${pages[@]}"; do
  path=${entry#*|}
  status=$(curl -s -o /dev/null -w '%{http_code}' -H "Cookie: $cookie" "$base$path")
  [[ $status == 200 ]] || { echo "http_bench: $path answered $status" >&2; exit 1; }
done

# wrk's latency in milliseconds.
to_ms() {
  awk -v v="$1" 'BEGIN {
    n = v + 0; u = v; sub(/^[0-9.]+/, "", u)
    if (u == "us") n /= 1000; else if (u == "s") n *= 1000; else if (u == "m") n *= 60000
    printf "%.2f", n }'
}

printf '%-16s %5s %10s %9s %9s %7s %10s\n' page conc 'req/s' 'p50 ms' 'p99 ms' errors 'x style'
style_rate=""
for entry in "${pages[@]}"; do
  name=${entry%%|*}
  path=${entry#*|}
  for c in "${levels[@]}"; do
    threads=$((c < 2 ? c : 2))
    out=$(wrk --latency -t "$threads" -c "$c" -d "${duration}s" -H "Cookie: $cookie" "$base$path")
    rate=$(awk '/^Requests\/sec:/ {print $2}' <<<"$out")
    p50=$(to_ms "$(awk '$1 == "50%" {print $2}' <<<"$out")")
    p99=$(to_ms "$(awk '$1 == "99%" {print $2}' <<<"$out")")
    errors=$(awk '/Non-2xx/ {n += $NF} /Socket errors/ {n += 1} END {print n + 0}' <<<"$out")
    ratio=""
    if [[ $c == 1 ]]; then
      [[ $name == stylesheet ]] && style_rate=$rate
      ratio=$(awk -v s="$style_rate" -v r="$rate" 'BEGIN {if (r > 0) printf "%.1f", s / r}')
    fi
    printf '%-16s %5s %10s %9s %9s %7s %10s\n' "$name" "$c" "$rate" "$p50" "$p99" "$errors" "$ratio"
  done
done
peak_kb=$(awk '/^VmHWM:/ {print $2}' "/proc/$server_pid/status")
echo "server peak resident memory: $((peak_kb / 1024)) MB (VmHWM, the whole run)"
