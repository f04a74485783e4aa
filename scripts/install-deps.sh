#!/usr/bin/env bash
# Installs, from Debian's archive, whatever the build and the tests need and this machine lacks.
# Usage: install-deps.sh [linux|windows|fuzz|memcheck|bench|all]   (default: linux). Needs root when anything is missing.
set -euo pipefail

linux_packages=(
  build-essential cmake ninja-build pkg-config python3
  libsdl2-dev libx11-dev libgl1-mesa-dev libglu1-mesa-dev libgl1-mesa-dri libegl-dev
  libgtest-dev libfreetype-dev fonts-dejavu-core libstb-dev zlib1g-dev
  libtinygltf-dev nlohmann-json3-dev  # the glTF writer, header-only, which the Windows build copies too
  xvfb xdotool x11-utils x11-apps imagemagick python3-xlib
  dpkg-dev  # dpkg-shlibdeps, for the Debian package's dependencies
  shared-mime-info libglib2.0-bin  # update-mime-database and gio, for the installed MIME type
  bubblewrap  # the file manager's sandbox the thumbnailer is tested in
)
windows_packages=(g++-mingw-w64-x86-64-win32 libz-mingw-w64-dev)
windows_norecommends=(wine wine64)
fuzz_packages=(clang libclang-rt-14-dev)
memcheck_packages=(valgrind)
bench_packages=(libbenchmark-dev libassimp-dev assimp-utils time)

want=("${linux_packages[@]}")
norecommends=()
case "${1:-linux}" in
  linux) ;;
  windows) want=("${windows_packages[@]}"); norecommends=("${windows_norecommends[@]}") ;;
  fuzz) want=("${fuzz_packages[@]}") ;;
  memcheck) want=("${memcheck_packages[@]}") ;;
  bench) want=("${bench_packages[@]}") ;;
  all) want+=("${windows_packages[@]}"); norecommends=("${windows_norecommends[@]}") ;;
  *) echo "usage: $0 [linux|windows|fuzz|memcheck|bench|all]" >&2; exit 2 ;;
esac

missing() {
  local package
  for package in "$@"; do
    dpkg-query -W -f='${Status}\n' "$package" 2>/dev/null | grep -q '^install ok installed$' || echo "$package"
  done
}

# The export tests' glTF validator and reader (tests/node/package.json, versions pinned by its lock file), into
# tests/node/node_modules; npm from Debian's archive where no node is installed.
node_tools() {
  if ! command -v npm >/dev/null 2>&1; then
    mapfile -t need_node < <(missing nodejs npm)
    if [ ${#need_node[@]} -gt 0 ]; then
      if [ "$(id -u)" -ne 0 ]; then
        echo "Missing packages: ${need_node[*]}; run this as root to install them." >&2
        return 1
      fi
      apt-get update -qq
      DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${need_node[@]}" >/dev/null
    fi
  fi
  local folder
  folder="$(cd "$(dirname "$0")/.." && pwd)/tests/node"
  if [ ! -f "$folder/node_modules/.package-lock.json" ] ||
     [ "$folder/package-lock.json" -nt "$folder/node_modules/.package-lock.json" ]; then
    echo "Installing the export tests' npm packages into $folder/node_modules"
    npm ci --prefix "$folder" --no-audit --no-fund --loglevel=error
  fi
}

mapfile -t need < <(missing "${want[@]}")
mapfile -t need_plain < <(missing "${norecommends[@]}")
if [ ${#need[@]} -eq 0 ] && [ ${#need_plain[@]} -eq 0 ]; then
  case "${1:-linux}" in linux|all) node_tools ;; esac
  exit 0
fi

if [ "$(id -u)" -ne 0 ]; then
  echo "Missing packages: ${need[*]} ${need_plain[*]}; run this as root to install them." >&2
  exit 1
fi
export DEBIAN_FRONTEND=noninteractive
echo "Installing: ${need[*]} ${need_plain[*]}"
apt-get update -qq
if [ ${#need[@]} -gt 0 ]; then
  apt-get install -y -qq "${need[@]}" >/dev/null
fi
if [ ${#need_plain[@]} -gt 0 ]; then
  apt-get install -y -qq --no-install-recommends "${need_plain[@]}" >/dev/null
fi
case "${1:-linux}" in linux|all) node_tools ;; esac
