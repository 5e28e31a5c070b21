#!/usr/bin/env bash
# Sets up the machine, builds, and runs the main job: the office pages on the
# embedded database (the demo office on first run), at the address printed.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
KORIMBA_TARGETS=korimba bash scripts/build.sh
build/korimba init-db --demo
exec build/korimba serve
