#!/usr/bin/env bash
# /online through several nodes. Makes a small office (kept in a temporary
# folder), then measures in one run, at each concurrency (8 and 64):
#   - one node keeping its state in memory (the default);
#   - two nodes on that one database file and one private Redis (started on
#     a free loopback port, no persistence), half the connections on each,
#     as a load balancer would spread them.
# Requests go round as many persons as there are connections (each a session
# signed in by pick), so GetOnlineList updates one shared list under the
# Application lock.
# Prints requests per second, p50 and p99 (the worse node's for two nodes),
# the load average when it started and the throughput of two nodes on Redis
# against one in memory for each run, then a table of p99 at each concurrency for both set-ups and the
# throughput ratio (the lowest to the highest of the runs when there are
# several), and whether two nodes keep p99 under 20 ms at 64.
#
#   bash bench/nodes_bench.sh [BUILD_DIR]     (default build-rel)
#
# BUILD_DIR needs `korimba` (a Release build). DURATION sets the seconds of
# each run (5), CONCURRENCY the list of concurrencies ("8 64"), RUNS how
# many times each is measured (1), the set-ups taking turns.
set -euo pipefail

build=${1:-build-rel}
duration=${DURATION:-5}
read -r -a levels <<<"${CONCURRENCY:-8 64}"
runs=${RUNS:-1}
for tool in wrk curl redis-server redis-cli; do
  command -v "$tool" >/dev/null || { echo "nodes_bench: $tool is missing (scripts/setup.sh installs it)" >&2; exit 1; }
done
[[ -x $build/korimba ]] || { echo "nodes_bench: $build/korimba is not built" >&2; exit 1; }

work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do
    kill -TERM "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  rm -rf "$work"
}
trap cleanup EXIT

free_port() { python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'; }

# The office: 64 persons, enough for one per connection at the highest level.
persons=0
for c in "${levels[@]}"; do ((c > persons)) && persons=$c; done
"$build/korimba" init-db --db "sqlite:$work/office.db" >/dev/null
for ((id = 1; id <= persons; id++)); do
  "$build/korimba" person add "$id" "Person $id" --db "sqlite:$work/office.db" >/dev/null
done
mkdir -p "$work/files"

redis_port=$(free_port)
redis-server --port "$redis_port" --bind 127.0.0.1 --save '' --appendonly no --loglevel warning \
  >"$work/redis.log" 2>&1 &
pids+=($!)
for _ in $(seq 1 100); do redis-cli -p "$redis_port" ping >/dev/null 2>&1 && break; sleep 0.1; done

# start_node VAR STATE: starts a node and sets VAR to its base address. It
# runs in this shell (not in $(...)), so that the node's pid is kept for the
# cleanup.
start_node() {
  local n=${#pids[@]}
  "$build/korimba" serve --db "sqlite:$work/office.db" --listen 127.0.0.1:0 --auth pick \
    --state "$2" --attachments "$work/files" --access-log /dev/null ${WORKERS:+--workers "$WORKERS"} \
    >"$work/serve$n.out" 2>"$work/serve$n.err" &
  pids+=($!)
  local base=""
  for _ in $(seq 1 300); do
    base=$(sed -n 's|^Korimba pages at \(http://[^ ]*\)/$|\1|p' "$work/serve$n.out")
    [[ -n $base ]] && break
    sleep 0.1
  done
  [[ -n $base ]] || { cat "$work/serve$n.err" >&2; exit 1; }
  printf -v "$1" '%s' "$base"
}

# sign_in BASE PERSON: the cookie of a fresh session of PERSON on BASE.
sign_in() {
  local jar="$work/jar.$2" token
  rm -f "$jar"
  token=$(curl -s -c "$jar" "$1/signin" | sed -n 's/.*name="token" value="\([0-9a-f]*\)".*/\1/p' | head -1)
  curl -s -b "$jar" -c "$jar" -o /dev/null -d "person=$2&token=$token" "$1/signin"
  awk '!/^#/ && NF >= 7 {c = $6 "=" $7} /^#HttpOnly_/ {c = $6 "=" $7} END {print c}' "$jar"
}

# A wrk script sending the cookies of COOKIES (a file, one per line) in turn,
# each wrk thread starting at its own.
cat >"$work/persons.lua" <<'LUA'
local cookies = {}
for line in io.lines(os.getenv("COOKIES")) do cookies[#cookies + 1] = line end
local next_cookie = 0
function setup(thread)
  thread:set("first", next_cookie)
  next_cookie = next_cookie + 1
end
local n = 0
function init(args) n = first end
function request()
  n = n + 1
  return wrk.format("GET", "/online", {["Cookie"] = cookies[(n % #cookies) + 1]})
end
LUA

to_ms() {
  awk -v v="$1" 'BEGIN {
    n = v + 0; u = v; sub(/^[0-9.]+/, "", u)
    if (u == "us") n /= 1000; else if (u == "s") n *= 1000; else if (u == "m") n *= 60000
    printf "%.2f", n }'
}

# run BASE CONNECTIONS FIRST_PERSON THREADS OUT: signs CONNECTIONS persons
# in on BASE, then runs wrk (THREADS threads) over /online with them; wrk's
# output in OUT. Both set-ups get two wrk threads in all: one wrk of two
# threads for the memory node, one of one thread for each Redis node.
run() {
  local base=$1 c=$2 first=$3 threads=$4 out=$5 list="$work/cookies.$3"
  : >"$list"
  for ((p = first; p < first + c; p++)); do sign_in "$base" "$p" >>"$list"; done
  COOKIES=$list wrk --latency -t "$((c < threads ? c : threads))" -c "$c" -d "${duration}s" \
    -s "$work/persons.lua" "$base/online" >"$out"
}
rate_of() { awk '/^Requests\/sec:/ {print $2}' "$1"; }
p_of() { to_ms "$(awk -v q="$2" '$1 == q {print $2}' "$1")"; }
errors_of() { awk '/Non-2xx/ {n += $NF} /Socket errors/ {n += 1} END {print n + 0}' "$1"; }

start_node memory memory
start_node node1 "redis://127.0.0.1:$redis_port"
start_node node2 "redis://127.0.0.1:$redis_port"

# The figures of every run, by set-up and concurrency, for the table.
declare -A p99s ratios
loads=""
load_now() { awk '{print $1}' /proc/loadavg; }

echo "nodes_bench: $(nproc) cores, ${duration}s per measurement, $runs run(s); each node with its default"
echo "workers and database pool; Redis without persistence; two wrk threads per set-up."
printf '%-22s %5s %10s %9s %9s %7s %6s\n' setup conc 'req/s' 'p50 ms' 'p99 ms' errors load
for ((round = 1; round <= runs; round++)); do
  for c in "${levels[@]}"; do
    load=$(load_now)
    loads+=" $load"
    run "$memory" "$c" 1 2 "$work/mem.txt"
    m_rate=$(rate_of "$work/mem.txt")
    m_p99=$(p_of "$work/mem.txt" 99%)
    printf '%-22s %5s %10s %9s %9s %7s %6s\n' "one node, memory" "$c" "$m_rate" \
      "$(p_of "$work/mem.txt" 50%)" "$m_p99" "$(errors_of "$work/mem.txt")" "$load"

    redis-cli -p "$redis_port" flushall >/dev/null
    half=$((c / 2))
    load=$(load_now)
    loads+=" $load"
    run "$node1" "$half" 1 1 "$work/n1.txt" &
    first=$!
    run "$node2" "$((c - half))" "$((half + 1))" 1 "$work/n2.txt"
    wait "$first"
    r_rate=$(awk -v a="$(rate_of "$work/n1.txt")" -v b="$(rate_of "$work/n2.txt")" 'BEGIN {printf "%.2f", a + b}')
    p50=$(awk -v a="$(p_of "$work/n1.txt" 50%)" -v b="$(p_of "$work/n2.txt" 50%)" 'BEGIN {print (a > b ? a : b)}')
    p99=$(awk -v a="$(p_of "$work/n1.txt" 99%)" -v b="$(p_of "$work/n2.txt" 99%)" 'BEGIN {print (a > b ? a : b)}')
    errors=$(($(errors_of "$work/n1.txt") + $(errors_of "$work/n2.txt")))
    printf '%-22s %5s %10s %9s %9s %7s %6s\n' "two nodes, Redis" "$c" "$r_rate" "$p50" "$p99" \
      "$errors" "$load"
    ratio=$(awk -v r="$r_rate" -v m="$m_rate" 'BEGIN {printf "%.2f", (m > 0 ? r / m : 0)}')
    echo "  throughput at $c: two nodes on Redis / one node in memory = $ratio"
    p99s[memory,$c]+=" $m_p99"
    p99s[redis,$c]+=" $p99"
    ratios[$c]+=" $ratio"
  done
done

# "a" for one run, "a-b" (lowest to highest) for several.
span() { tr ' ' '\n' <<<"$1" | awk 'NF {v = $1 + 0; if (n++ == 0 || v < lo) lo = v; if (v > hi || n == 1) hi = v}
  END {if (n == 1 || lo == hi) printf "%s", lo; else printf "%s-%s", lo, hi}'; }
echo
printf '%-34s' "/online, $runs run(s) of ${duration}s"
for c in "${levels[@]}"; do printf ' %14s' "at $c"; done
echo
for row in "p99 ms, one node in memory:memory" "p99 ms, two nodes on Redis:redis"; do
  printf '%-34s' "${row%%:*}"
  for c in "${levels[@]}"; do printf ' %14s' "$(span "${p99s[${row##*:},$c]}")"; done
  echo
done
printf '%-34s' "req/s, two nodes on Redis / memory"
for c in "${levels[@]}"; do printf ' %14s' "$(span "${ratios[$c]}")"; done
echo
printf '%-34s %14s\n' "load average while measuring" "$(span "$loads")"
echo "(p99 of two nodes is the worse node's; the ratio is both nodes' req/s over the memory"
echo " node's, measured one after the other in the same round; ranges are lowest-highest)"
if [[ -n ${p99s[redis,64]:-} ]]; then
  worst=$(tr ' ' '\n' <<<"${p99s[redis,64]}" | awk 'NF && $1 + 0 > m {m = $1 + 0} END {print m + 0}')
  awk -v w="$worst" 'BEGIN {printf "goal, p99 under 20 ms at 64 on two nodes: %s (worst %s ms)\n",
    (w < 20 ? "met" : "not met"), w}'
fi
