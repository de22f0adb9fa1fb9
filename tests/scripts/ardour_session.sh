#!/bin/bash
# Ardour (headless, dummy backend) instantiates Morvanta on a MIDI track, sets
# a parameter, saves the session, and gets the value back after reloading it.
# Args: $1 = Morvanta.so, $2 = build dir. Exit 77 = skipped.
set -u
ARDOUR_NEEDS_LUA=1
source "$(dirname "$0")/lib/ardour_env.bash"
synth_session_lua "$work/create.lua" "ARDOUR.LuaAPI.set_processor_param(p, 0, 0.25)"
cat > "$work/reload.lua" <<LUA
AudioEngine:set_backend("None (Dummy)", "", "")
AudioEngine:start()
assert(load_session("$work/sess", "sess"), "no session")
for r in Session:get_routes():iter() do
  local p = r:nth_plugin(0)
  if not p:isnil() and p:display_name() == "Morvanta" then
    print("RESULT param0=" .. tostring(ARDOUR.LuaAPI.get_processor_param(p, 0)))
  end
end
close_session()
LUA

# Ardour crashes on its own now and then: retry a crash, never a wrong result.
attempt() {
  local script="$1" fresh="$2" out
  for try in 1 2 3; do
    out=$(run timeout 300 "$lua" "$script" 2>&1)
    case $? in
      0) echo "$out" | grep '^RESULT'; return 0 ;;
      124|134|139) echo "Ardour crashed (try $try), retrying" >&2 ;;
      *) echo "$out" | grep '^RESULT'; return 1 ;;
    esac
    [ "$fresh" = fresh ] && rm -rf "$work/sess"
  done
  return 1
}
created=$(attempt "$work/create.lua" fresh)
if [ "$created" != "RESULT created" ]; then
  echo "FAIL: session not created: $created"
  exit 1
fi
reloaded=$(attempt "$work/reload.lua" keep)
if [ "$reloaded" != "RESULT param0=0.25" ]; then
  echo "FAIL: after reload: $reloaded"
  exit 1
fi
echo "OK: Morvanta restored with parameter 0 at 0.25"
