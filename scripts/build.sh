#!/usr/bin/env bash
# Configures and builds the project in build/ with Ninja. Arguments go to the
# configure step (e.g. -DKORIMBA_BUILD_BENCH=OFF); KORIMBA_TARGETS names the
# targets to build (everything when unset); KORIMBA_JOBS the parallel jobs.
set -euo pipefail
cd "$(dirname "$0")/.."

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
targets=()
for t in ${KORIMBA_TARGETS:-}; do targets+=(--target "$t"); done
cmake --build build -j "${KORIMBA_JOBS:-2}" "${targets[@]}"
