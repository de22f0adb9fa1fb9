#!/bin/bash
# Ardour's own VST2 scanner must see Morvanta as a stereo instrument with an
# editor. Args: $1 = Morvanta.so, $2 = build dir. Exit 77 = skipped.
set -u
plugin="$1"
scanner=/usr/lib/ardour7/ardour-vst-scanner
if [ ! -x "$scanner" ]; then
  if [ "${CI:-}" = "true" ]; then
    echo "FAIL: $scanner is missing on CI"
    exit 1
  fi
  echo "SKIP: $scanner not installed"
  exit 77
fi
# A sanitizer build needs the sanitizer runtime in the loading program; the
# scanner does not have it.
if grep -q '^MORVANTA_SANITIZE:BOOL=ON' "${2:-.}/CMakeCache.txt" 2>/dev/null; then
  echo "SKIP: sanitizer build"
  exit 77
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/home" "$work/cache" "$work/config" "$work/data" "$work/plug"
cp "$plugin" "$work/plug/Morvanta.so"
# The scanner exits 0 even when the scan fails: judge by the cache file.
env -u DISPLAY HOME="$work/home" XDG_CACHE_HOME="$work/cache" XDG_CONFIG_HOME="$work/config" \
  XDG_DATA_HOME="$work/data" LD_LIBRARY_PATH=/usr/lib/ardour7 \
  timeout 300 "$scanner" -f "$work/plug/Morvanta.so"
cache=$(find "$work/cache/ardour7/vst" -name '*.v2i' 2>/dev/null | head -n 1)
if [ -z "$cache" ]; then
  echo "FAIL: the scanner wrote no .v2i cache file"
  exit 1
fi
cat "$cache"
status=0
for attr in 'category="Instrument"' 'name="Morvanta"' 'creator="Quelvo"' 'n_inputs="0"' \
            'n_outputs="2"' 'n_midi_inputs="1"' 'has_editor="1"' 'is_instrument="1"'; do
  if ! grep -q "<VST2Info [^>]*$attr" "$cache"; then
    echo "FAIL: $attr missing from the scan result"
    status=1
  fi
done
exit $status
