#!/bin/bash
# Ardour's own VST2 scanner must see Morvanta as a stereo instrument with an
# editor. Args: $1 = Morvanta.so, $2 = build dir. Exit 77 = skipped.
set -u
source "$(dirname "$0")/lib/ardour_env.bash"
# The scanner exits 0 even when the scan fails: judge by the cache file.
run LD_LIBRARY_PATH=/usr/lib/ardour7 timeout 300 "$scanner" -f "$work/vst/Morvanta.so"
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
