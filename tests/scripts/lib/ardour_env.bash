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

# Makes Ardour know the plug-in (its scan cache must be newer, to the second,
# than the .so) and writes to $1 a Lua script that creates the session
# $work/sess with Morvanta on a MIDI track; the Lua code in $2 runs on the
# plug-in `p` before the session is saved.
synth_session_lua() {
  touch -d '-5 seconds' "$work/vst/Morvanta.so"
  run LD_LIBRARY_PATH=/usr/lib/ardour7 timeout 300 "$scanner" -f "$work/vst/Morvanta.so" >/dev/null 2>&1
  cat > "$1" <<LUA
AudioEngine:set_backend("None (Dummy)", "", "")
AudioEngine:start()
local s = create_session("$work/sess", "sess", 48000)
assert(s, "no session")
local tracks = Session:new_midi_track(ARDOUR.ChanCount(ARDOUR.DataType("midi"), 1),
  ARDOUR.ChanCount(ARDOUR.DataType("audio"), 2), true, ARDOUR.PluginInfo(), nil, nil, 1, "synth",
  ARDOUR.PresentationInfo.max_order, ARDOUR.TrackMode.Normal, true, false)
local p = ARDOUR.LuaAPI.new_plugin(Session, "Morvanta", ARDOUR.PluginType.LXVST, "")
if p:isnil() then print("RESULT no-plugin"); close_session(); os.exit(2) end
tracks:front():add_processor_by_index(p, 0, nil, true)
${2:-}
Session:save_state("", false, false, false, false, false)
print("RESULT created")
close_session()
LUA
}
