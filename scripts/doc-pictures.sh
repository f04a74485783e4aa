#!/usr/bin/env bash
# Makes the README's viewer picture: a real model from the reference data opened by path, with a skin that
# ImageMagick paints here (the model comes without one), saved by the viewer's own --screenshot under Xvfb.
# Usage: scripts/doc-pictures.sh [BUILD_DIR]   (default build; needs ../shared/fixtures and ImageMagick)
set -euo pipefail
source_dir="$(cd "$(dirname "$0")/.." && pwd)"
build="$(cd "${1:-$source_dir/build}" && pwd)"
model="$source_dir/../shared/fixtures/md2/dolphin.md2"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# A sea-grey skin, darker along the top rows and pale below, with a little grain so the texture shows.
convert -size 256x256 gradient:'#2f4f6f'-'#c9d6df' \( +clone -seed 7 +noise Gaussian -colorspace gray \) \
  -compose overlay -composite "$work/dolphin_f.png"
python3 "$source_dir/tests/support/xvfb.py" --timeout 120 -- \
  "$build/brevant" --screenshot "$source_dir/docs/viewer.png" --frame 20 --background "#1c2630" \
  --skin "$work/dolphin_f.png" "$model"
echo "wrote $source_dir/docs/viewer.png"
