#!/usr/bin/env bash
# Configures (once) and builds the project in build/ with Ninja. Extra
# arguments go to the configure step, e.g. -DKORIMBA_BUILD_BENCH=OFF.
set -euo pipefail
cd "$(dirname "$0")/.."

jobs="${KORIMBA_JOBS:-2}"
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
cmake --build build -j "$jobs"
