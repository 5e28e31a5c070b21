#!/usr/bin/env bash
# Runs the browser tests: starts `korimba serve` on a free 127.0.0.1 port with
# a fresh database and attachments directory, runs the tests against it, and
# stops it. Exits 77 (skipped) when chromium or the npm packages are missing.
# Usage: run.sh [path/to/korimba]
set -uo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "$here/../../.." && pwd)"
korimba="${1:-$root/build/korimba}"
chromium="${CHROMIUM:-/usr/bin/chromium}"

if [ ! -x "$chromium" ] || [ ! -d "$here/node_modules/playwright-core" ] || ! command -v node >/dev/null; then
  echo "SKIP: browser tests need $chromium, node and 'npm ci' in tests/web/browser"
  exit 77
fi
if [ ! -x "$korimba" ]; then
  echo "browser tests: no korimba program at $korimba" >&2
  exit 1
fi

work="$(mktemp -d)"
server=""
cleanup() {
  if [ -n "$server" ]; then
    kill "$server" 2>/dev/null
    wait "$server" 2>/dev/null
  fi
  rm -rf "$work"
}
trap cleanup EXIT

# The demo office and its sign-in accounts (cheap hashes: a test database).
if ! KORIMBA_PASSWORD_COST=minimum "$korimba" init-db --demo --db "sqlite:$work/office.db" \
  >"$work/init.log" 2>&1; then
  echo "browser tests: init-db failed" >&2
  cat "$work/init.log" >&2
  exit 1
fi
"$korimba" serve --db "sqlite:$work/office.db" --listen 127.0.0.1:0 \
  --attachments "$work/attachments" >"$work/serve.log" 2>&1 &
server=$!

url=""
for _ in $(seq 1 100); do
  url="$(grep -o 'http://127\.0\.0\.1:[0-9]*' "$work/serve.log" | head -1)"
  [ -n "$url" ] && break
  if ! kill -0 "$server" 2>/dev/null; then break; fi
  sleep 0.1
done
if [ -z "$url" ]; then
  echo "browser tests: the server did not start" >&2
  cat "$work/serve.log" >&2
  exit 1
fi
echo "browser tests against $url"

export KORIMBA_URL="$url"
export KORIMBA_PROGRAM="$(cd "$(dirname "$korimba")" && pwd)/$(basename "$korimba")"
export KORIMBA_SCREENSHOT_DIR="${KORIMBA_SCREENSHOT_DIR:-$root/build/screenshots}"
cd "$here" && node --test --test-concurrency=1 ./*.test.mjs
