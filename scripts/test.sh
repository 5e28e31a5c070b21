#!/usr/bin/env bash
# Sets up the machine, builds everything in build/ and runs the whole test
# suite.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
bash scripts/build.sh -DKORIMBA_BUILD_TESTS=ON -DKORIMBA_BUILD_BENCH=ON
ctest --test-dir build --output-on-failure -j2
