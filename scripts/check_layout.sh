#!/usr/bin/env bash
# Fails when a file includes a header of a room above its own. The rooms, from
# the bottom up (a room may include its own headers and those of any room in
# an earlier group; rooms in one group do not include each other):
#   frame | host db people | message | plan | classes | demo | web | cli
# include/ and examples/ stand on top, tests/ and bench/ may use every room.
set -euo pipefail
cd "$(dirname "$0")/.."

rank() {
  case "$1" in
    frame) echo 0 ;;
    host | db | people) echo 1 ;;
    message) echo 2 ;;
    plan) echo 3 ;;
    classes) echo 4 ;;
    demo) echo 5 ;;
    web) echo 6 ;;
    cli) echo 7 ;;
    *) echo -1 ;;
  esac
}

status=0
while IFS= read -r file; do
  room="${file#src/}"
  room="${room%%/*}"
  own="$(rank "$room")"
  if [ "$own" -lt 0 ]; then
    echo "check_layout: $file is in no known room (add it to scripts/check_layout.sh)" >&2
    status=1
    continue
  fi
  while IFS= read -r target; do
    [ "$target" = "$room" ] && continue
    other="$(rank "$target")"
    [ "$other" -lt 0 ] && continue
    if [ "$other" -ge "$own" ]; then
      echo "check_layout: $file includes $target/ (room $room may not)" >&2
      status=1
    fi
  done < <(sed -n 's/^#include "\([a-z_]*\)\/.*/\1/p' "$file" | sort -u)
done < <(git ls-files 'src/*.h' 'src/*.cc')

if [ "$status" -eq 0 ]; then
  echo "check_layout: every include points to a lower room"
fi
exit "$status"
