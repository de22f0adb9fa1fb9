#!/usr/bin/env bash
# The main job: install the dependencies, build, install the plug-in, and
# render the built-in demo song through the installed plug-in to demo.wav.
set -euo pipefail
cd "$(dirname "$0")/.."

prefix=${PREFIX:-/usr/local}
out=${OUT:-$PWD/demo.wav}
sudo_if_needed() {
  if [ "$(id -u)" -eq 0 ] || [ -w "$prefix" ]; then "$@"; else sudo "$@"; fi
}

bash scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix"
cmake --build build -j"$(nproc 2>/dev/null || echo 2)" --target Morvanta morvanta-render
sudo_if_needed cmake --install build
plugin="$prefix/lib/vst/Morvanta.so"
echo "Installed $plugin"
"$prefix/bin/morvanta-render" --plugin "$plugin" -o "$out"
