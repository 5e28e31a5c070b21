#!/usr/bin/env bash
# Sets up the machine, builds, and runs the main job: the demonstration
# program on the embedded database.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
KORIMBA_TARGETS=korimba_demo bash scripts/build.sh
exec build/korimba_demo
