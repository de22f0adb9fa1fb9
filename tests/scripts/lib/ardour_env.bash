# Shared set-up of the tests that run Ardour's own programs on the plug-in.
# Source it with $1 = Morvanta.so and $2 = the build dir; it skips (exit 77)
# without Ardour (fails on CI) or in a sanitizer build, makes a throwaway
# HOME and XDG folders under $work with a copy of the plug-in in $work/vst,
# and defines `run` to call a program inside that environment.
scanner=/usr/lib/ardour7/ardour-vst-scanner
lua=/usr/bin/ardour7-lua
for needed in "$scanner" ${ARDOUR_NEEDS_LUA:+"$lua"}; do
  if [ ! -x "$needed" ]; then
    if [ "${CI:-}" = "true" ]; then
      echo "FAIL: $needed is missing on CI"
      exit 1
    fi
    echo "SKIP: $needed not installed"
    exit 77
  fi
done
# Ardour's processes cannot load a plug-in built against the sanitizer runtime.
if grep -qE '^MORVANTA_(SANITIZE|TSAN):BOOL=ON' "${2:-.}/CMakeCache.txt" 2>/dev/null; then
  echo "SKIP: sanitizer build"
  exit 77
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/home" "$work/cache" "$work/config" "$work/data" "$work/vst"
cp "$1" "$work/vst/Morvanta.so"
run() {
  env -u DISPLAY HOME="$work/home" XDG_CACHE_HOME="$work/cache" XDG_CONFIG_HOME="$work/config" \
    XDG_DATA_HOME="$work/data" LXVST_PATH="$work/vst" "$@"
}
