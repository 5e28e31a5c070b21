#!/usr/bin/env bash
# Installs every Debian package the project needs to build, test and run
# (Debian 12, as root). Idempotent: when everything is installed it does
# nothing and touches no package list.
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  libsqlite3-dev unixodbc unixodbc-dev libsqliteodbc tdsodbc
  libcli11-dev nlohmann-json3-dev libcpp-httplib-dev libmstch-dev
  libssl-dev zlib1g-dev
  libsodium-dev libhiredis-dev libical-dev libtomlplusplus-dev redis-server
  clang clang-format wrk
  chromium fonts-wqy-microhei
)
# Node and npm for the browser tests: Debian's, unless the machine already has
# them (another node package may bring its own npm).
command -v node >/dev/null 2>&1 || packages+=(nodejs)
command -v npm >/dev/null 2>&1 || packages+=(npm)

# The browser tests' npm packages (playwright-core), pinned by their lock file.
browser_test_packages() {
  local dir
  dir="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)/tests/web/browser"
  if [ -d "$dir/node_modules/playwright-core" ] || ! command -v npm >/dev/null 2>&1; then
    return 0
  fi
  echo "setup: npm ci in tests/web/browser"
  (cd "$dir" && npm ci --no-audit --no-fund >/dev/null) ||
    echo "setup: npm ci failed; the browser tests will be skipped" >&2
}

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  browser_test_packages
  exit 0
fi

if [ "$(id -u)" -ne 0 ]; then
  echo "setup: missing packages: ${missing[*]}" >&2
  echo "setup: run this script as root (or install them with apt-get)" >&2
  exit 1
fi

echo "setup: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
browser_test_packages
