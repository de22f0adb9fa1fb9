#!/bin/bash
# The plug-in exports exactly VSTPluginMain and main, and loads with every
# symbol resolved. Args: $1 = Morvanta.so, $2 = build dir.
set -u
plugin="$1"
if ! command -v nm >/dev/null; then
  echo "SKIP: nm not installed"
  exit 77
fi
exports=$(nm -D --defined-only "$plugin" | awk '$2 ~ /^[TWDBRVi]$/ {print $3}' | sort | tr '\n' ' ')
if [ "$exports" != "VSTPluginMain main " ]; then
  echo "FAIL: exported symbols are: $exports"
  exit 1
fi
# A sanitizer build leaves the sanitizer runtime to the loading program.
if grep -qE '^MORVANTA_(SANITIZE|TSAN):BOOL=ON' "${2:-.}/CMakeCache.txt" 2>/dev/null; then
  echo "OK: $exports (load check skipped in the sanitizer build)"
  exit 0
fi
if ! python3 -c 'import ctypes, sys; ctypes.CDLL(sys.argv[1], mode=2)' "$plugin" 2>/dev/null; then
  # RTLD_NOW is 2; without python fall back to ldd's relocation check.
  if ldd -r "$plugin" 2>&1 | grep -q 'undefined symbol'; then
    echo "FAIL: unresolved symbols"
    ldd -r "$plugin"
    exit 1
  fi
fi
echo "OK: $exports"
