#!/usr/bin/env bash
# Checks every C++ file against the repository's .clang-format without changing any: fails, listing the files and
# the lines clang-format would change, when one is off style. Run `clang-format -i FILE` to put a file right.
set -euo pipefail
source_dir="$(cd "$(dirname "$0")/.." && pwd)"
cd "$source_dir"

formatter="${CLANG_FORMAT:-clang-format}"
if ! command -v "$formatter" >/dev/null; then
  echo "check-format: $formatter not found (apt-get install clang-format)" >&2
  exit 2
fi

mapfile -d '' files < <(find app base scene model text res tools tests bench -type f \
  \( -name '*.cpp' -o -name '*.h' \) -print0 2>/dev/null | sort -z)
if [ "${#files[@]}" -eq 0 ]; then
  echo "check-format: no C++ files found under $source_dir" >&2
  exit 2
fi

failed=0
for file in "${files[@]}"; do
  if ! "$formatter" --dry-run -Werror --style=file "$file" 2>/dev/null; then
    # Run again for the messages: which lines, and what clang-format wants there.
    "$formatter" --dry-run --style=file "$file" 2>&1 | head -n 20 >&2 || true
    failed=$((failed + 1))
  fi
done

if [ "$failed" -ne 0 ]; then
  echo "check-format: $failed of ${#files[@]} files differ from .clang-format" >&2
  exit 1
fi
echo "check-format: all ${#files[@]} files match .clang-format"
