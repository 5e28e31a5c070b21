#!/usr/bin/env bash
# Builds the translator's libFuzzer target with clang in build-fuzz/ and runs
# it for SECONDS (default 60) over a working corpus in build-fuzz/corpus:
# the checked-in tests/fuzz/corpus (the statements the component sends, as
# `korimba script --trace < tests/fuzz/corpus_calls.jsonl` records them) and
# every statement of the tests/db/sql files. New inputs it finds stay in
# build-fuzz/corpus, crashes in build-fuzz/findings.
#   bash scripts/fuzz.sh [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"

if [ ! -f build-fuzz/build.ninja ]; then
  CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DKORIMBA_FUZZ=ON -DKORIMBA_BUILD_TESTS=OFF -DKORIMBA_BUILD_BENCH=OFF >/dev/null
fi
cmake --build build-fuzz -j2 --target translator_fuzz

mkdir -p build-fuzz/corpus build-fuzz/findings
cp -n tests/fuzz/corpus/* build-fuzz/corpus/ 2>/dev/null || true
# One file per statement block of the statement files.
awk -v dir=build-fuzz/corpus '
  /^(statement ok|query|refused)$/ {
    name = FILENAME; sub(".*/", "", name); out = dir "/" name "-" FNR ".sql"; body = 1; next
  }
  /^----$/ || /^$/ { if (body) close(out); body = 0; next }
  body { print > out }
' tests/db/sql/*.test
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  build-fuzz/translator_fuzz -max_total_time="$seconds" -max_len=4096 -timeout=10 \
  -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix=build-fuzz/findings/ \
  -dict=tests/fuzz/sql.dict build-fuzz/corpus
