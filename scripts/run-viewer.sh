#!/usr/bin/env bash
# What `make run` calls: opens the viewer from the build folder, where tris.md2 and font.tga sit beside it.
# With no display it has the viewer draw the default model once offscreen and save it (--screenshot).
set -euo pipefail
build="${1:-build}"
source_dir="$(cd "$(dirname "$0")/.." && pwd)"

if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  cd "$build"
  exec ./brevant
fi

echo "No display: the viewer draws the default model offscreen and saves it as a screenshot."
exec python3 "$source_dir/scripts/screenshot.py" "$build"
