#!/bin/bash
# Times Morvanta and, when installed, Debian's ZynAddSubFX (zynaddsubfx-vst)
# and amsynth VST2 plug-ins through morvanta-plugin-bench in one run, and
# prints CPU seconds per audio second with the ratio to ZynAddSubFX.
#
#   bash bench/compare-peers.sh [BUILD_DIR] [--seconds S] [--scaling] [--memory]
#                               [--targets] [--morvanta PATH/TO/Morvanta.so]
#
# --morvanta times another build of the plug-in (say a copy kept from before
# a change) with this build's benchmark program.
# --scaling adds Morvanta's cost at 1/4/16 voices and 44.1/96/192 kHz for both
# workloads; --memory adds resident growth and construction time per instance;
# --targets adds Morvanta's rows with the vector kernels limited to AVX2 and
# to SSE4 (through MORVANTA_SIMD_TARGET).
# A tool, not a test: nothing in CI runs it.
set -eu
here="$(cd "$(dirname "$0")/.." && pwd)"
build="$here/build"
seconds=20
morvanta=""
scaling=0
memory=0
targets=0
while [ $# -gt 0 ]; do
  case "$1" in
    --seconds) seconds="$2"; shift 2 ;;
    --scaling) scaling=1; shift ;;
    --memory) memory=1; shift ;;
    --targets) targets=1; shift ;;
    --morvanta) morvanta="$2"; shift 2 ;;
    -*) echo "unknown option $1" >&2; exit 2 ;;
    *) build="$1"; shift ;;
  esac
done
bench="$build/bench/morvanta-plugin-bench"
[ -n "$morvanta" ] || morvanta="$build/Morvanta.so"
[ -x "$bench" ] || { echo "build morvanta-plugin-bench first ($bench)" >&2; exit 1; }

full=()
for k in $(seq 1 16); do full+=(--param "Harmonics $k=0.5"); done
full+=(--param "Chorus On=1" --param "Delay On=1" --param "Reverb On=1")

cpu() {  # cpu PLUGIN ARGS... -> the median figure
  "$bench" "$@" --seconds "$seconds" | awk '/^cpu_s_per_audio_s/ {print $2}'
}

zyn=/usr/lib/vst/ZynAddSubFX.so
ams=/usr/lib/vst/amsynth_vst.so
printf '%-44s %10s %10s\n' "workload (16 voices, 44.1 kHz, 512 frames)" "cpu s/s" "x Zyn"
zynFig=""
if [ -f "$zyn" ]; then zynFig=$(cpu "$zyn"); fi
ratio() { if [ -n "$zynFig" ]; then awk -v a="$1" -v b="$zynFig" 'BEGIN {printf "%.2f", a / b}'; else echo "-"; fi; }
row() { printf '%-44s %10s %10s\n' "$1" "$2" "$(ratio "$2")"; }
f=$(cpu "$morvanta"); row "Morvanta init" "$f"
f=$(cpu "$morvanta" "${full[@]}"); row "Morvanta full chain (16 harm. 50%, effects)" "$f"
if [ "$targets" = 1 ]; then
  for t in AVX2 SSE4; do
    f=$(MORVANTA_SIMD_TARGET=$t cpu "$morvanta"); row "Morvanta init ($t)" "$f"
    f=$(MORVANTA_SIMD_TARGET=$t cpu "$morvanta" "${full[@]}"); row "Morvanta full chain ($t)" "$f"
  done
fi
if [ -n "$zynFig" ]; then row "ZynAddSubFX default patch" "$zynFig"; fi
if [ -f "$ams" ]; then f=$(cpu "$ams"); row "amsynth default" "$f"; fi

if [ "$scaling" = 1 ]; then
  echo
  printf '%-12s %8s %8s %12s %12s\n' workload voices "rate" "cpu s/s" "per voice"
  for w in init full; do
    for v in 1 4 16; do
      for r in 44100 96000 192000; do
        if [ "$w" = init ]; then f=$(cpu "$morvanta" --voices "$v" --rate "$r")
        else f=$(cpu "$morvanta" --voices "$v" --rate "$r" "${full[@]}"); fi
        printf '%-12s %8s %8s %12s %12s\n' "$w" "$v" "$r" "$f" "$(awk -v a="$f" -v n="$v" 'BEGIN {printf "%.5f", a / n}')"
      done
    done
  done
fi

if [ "$memory" = 1 ]; then
  echo
  "$bench" "$morvanta" "${full[@]}" --seconds "$seconds" --runs 1 --memory | sed 's/^/Morvanta full chain: /'
fi
