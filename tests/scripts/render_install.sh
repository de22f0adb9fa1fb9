#!/usr/bin/env bash
# The installed morvanta-render finds the plug-in installed beside it
# (<prefix>/lib/vst) without --plugin, and install-user puts the plug-in
# into ~/.vst. Usage: render_install.sh <Morvanta.so> <build dir>
set -euo pipefail
build=$(cd "$2" && pwd)
plugin=$(realpath "$1")
[ -x "$build/tools/morvanta-render" ] || { echo "morvanta-render not built"; exit 77; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export HOME="$work/home"
mkdir -p "$HOME"

cmake --install "$build" --prefix "$work/prefix" >/dev/null
libdir=$(sed -n 's/^MORVANTA_VST_DIR:STRING=//p' "$build/CMakeCache.txt")
installed="$work/prefix/${libdir:-lib/vst}/Morvanta.so"
[ -f "$installed" ] || { echo "FAIL: install did not put Morvanta.so at $installed"; exit 1; }

cd "$work"
"$work/prefix/bin/morvanta-render" --seconds 1 --tail 0 -o one.wav 2>err.txt
grep -q "^Rendered with $installed\$" err.txt ||
  { echo "FAIL: installed tool did not use $installed:"; cat err.txt; exit 1; }
[ -s one.wav ] || { echo "FAIL: no one.wav"; exit 1; }

cmake --build "$build" --target install-user >/dev/null
[ -f "$HOME/.vst/Morvanta.so" ] || { echo "FAIL: install-user left no ~/.vst/Morvanta.so"; exit 1; }
cmp -s "$HOME/.vst/Morvanta.so" "$plugin" || { echo "FAIL: ~/.vst/Morvanta.so differs from the build"; exit 1; }

# With the prefix's copy gone, the installed tool falls back to ~/.vst.
rm "$installed"
"$work/prefix/bin/morvanta-render" --seconds 1 --tail 0 -o two.wav 2>err.txt
grep -q "^Rendered with $HOME/.vst/Morvanta.so\$" err.txt ||
  { echo "FAIL: installed tool did not fall back to ~/.vst:"; cat err.txt; exit 1; }
echo "render install: ok"
