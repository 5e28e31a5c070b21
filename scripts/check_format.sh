#!/usr/bin/env bash
# Fails when a C++ file of the tree differs from .clang-format.
set -euo pipefail
cd "$(dirname "$0")/.."
git ls-files '*.h' '*.cc' | xargs clang-format --dry-run --Werror
echo "check_format: every C++ file matches .clang-format"
