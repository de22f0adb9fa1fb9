#!/bin/bash
# Opens Morvanta's editor inside Ardour 7's GUI, for looking at the panel in
# a real host. Makes a throwaway Ardour setup under a temporary folder, a
# session with Morvanta on a MIDI track whose saved state has the plug-in
# window open (so Ardour opens the editor as the session loads), and starts
# Ardour on it.
#
#   tools/ardour-editor-check.sh [Morvanta.so] [--xvfb]
#
# With --xvfb Ardour runs on a private Xvfb and the script prints the
# DISPLAY to use, e.g. for a screenshot:  DISPLAY=:N import -window root shot.png
# Ardour asks for an audio system first: choose "None (Dummy)" and Start
# (on Xvfb: xdotool, or any VNC viewer pointed at the Xvfb).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
plugin="$here/build/Morvanta.so"
xvfb=0
for arg in "$@"; do
  case $arg in
    --xvfb) xvfb=1 ;;
    *) plugin=$(realpath "$arg") ;;
  esac
done
[ -f "$plugin" ] || { echo "no plug-in at $plugin (build first, or pass its path)"; exit 1; }
for tool in ardour ardour7-lua; do
  command -v "$tool" >/dev/null || { echo "$tool is not installed (Debian package ardour)"; exit 1; }
done

work=$(mktemp -d /tmp/morvanta-ardour-XXXXXX)
mkdir -p "$work/home" "$work/cache" "$work/config/ardour7" "$work/data" "$work/vst"
cp "$plugin" "$work/vst/Morvanta.so"
export HOME="$work/home" XDG_CACHE_HOME="$work/cache" XDG_CONFIG_HOME="$work/config" \
  XDG_DATA_HOME="$work/data" LXVST_PATH="$work/vst"
# No first-run wizard, and the dummy audio system on offer.
touch "$work/config/ardour7/.a7"
cat > "$work/config/ardour7/config" <<'XML'
<?xml version="1.0" encoding="UTF-8"?>
<Ardour>
  <Config>
    <Option name="hide-dummy-backend" value="0"/>
  </Config>
</Ardour>
XML

# Ardour uses a scan cache only when it is newer (to the second) than the .so.
touch -d '-5 seconds' "$work/vst/Morvanta.so"
LD_LIBRARY_PATH=/usr/lib/ardour7 /usr/lib/ardour7/ardour-vst-scanner -f "$work/vst/Morvanta.so" >/dev/null 2>&1 || true

cat > "$work/create.lua" <<LUA
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
Session:save_state("", false, false, false, false, false)
print("RESULT created")
close_session()
LUA
env -u DISPLAY ardour7-lua "$work/create.lua" 2>/dev/null | grep -q '^RESULT created' ||
  { echo "Ardour could not make the session (see $work)"; exit 1; }

# The plug-in window's saved state: Ardour names it P-<route id>-<processor id>.
python3 - "$work/sess/sess.ardour" <<'PY'
import re, sys
path = sys.argv[1]
text = open(path).read()
proc = re.search(r'<Processor id="(\d+)" name="Morvanta"', text)
route = None
for m in re.finditer(r'<Route [^>]*id="(\d+)"', text):
    if m.start() < proc.start():
        route = m.group(1)
window = ('  <Extra>\n    <UI>\n      <Window name="P-%s-%s" visible="1" x-off="20" y-off="20" '
          'x-size="1380" y-size="800"/>\n    </UI>\n  </Extra>\n</Session>' % (route, proc.group(1)))
open(path, "w").write(text.replace("</Session>", window))
PY

if [ "$xvfb" = 1 ]; then
  exec 3< <(Xvfb -displayfd 1 -screen 0 1920x1200x24 -nolisten tcp 2>/dev/null)
  xvfb_pid=$!
  trap 'kill "$xvfb_pid" 2>/dev/null' EXIT
  read -r number <&3
  export DISPLAY=":$number"
  echo "Xvfb on DISPLAY=$DISPLAY; screenshot: DISPLAY=$DISPLAY import -window root shot.png"
fi
echo "Ardour's files are in $work; choose \"None (Dummy)\", then Start."
ardour -a -n "$work/sess/sess.ardour"
