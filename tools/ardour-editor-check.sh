#!/bin/bash
# Opens Morvanta's editor inside Ardour 7's GUI, for looking at the panel in
# a real host. Makes a throwaway Ardour set-up (removed at the end), a
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
command -v ardour >/dev/null || { echo "ardour is not installed (Debian package ardour)"; exit 1; }
# The Ardour test set-up: a throwaway HOME and XDG folders under $work with
# the plug-in in $work/vst, and `run` to call Ardour's programs inside them.
ARDOUR_NEEDS_LUA=1
set -- "$plugin" "$here/build"
source "$here/tests/scripts/lib/ardour_env.bash"
# No first-run wizard, and the dummy audio system on offer.
mkdir -p "$work/config/ardour7"
touch "$work/config/ardour7/.a7"
cat > "$work/config/ardour7/config" <<'XML'
<?xml version="1.0" encoding="UTF-8"?>
<Ardour>
  <Config>
    <Option name="hide-dummy-backend" value="0"/>
  </Config>
</Ardour>
XML
synth_session_lua "$work/create.lua"
run timeout 300 "$lua" "$work/create.lua" 2>/dev/null | grep -q '^RESULT created' ||
  { echo "Ardour could not make the session"; exit 1; }

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
  trap 'kill "$xvfb_pid" 2>/dev/null; rm -rf "$work"' EXIT
  read -r number <&3
  export DISPLAY=":$number"
  echo "Xvfb on DISPLAY=$DISPLAY; screenshot: DISPLAY=$DISPLAY import -window root shot.png"
fi
echo "Choose \"None (Dummy)\" as the audio system, then Start."
run env DISPLAY="${DISPLAY:-}" ardour -a -n "$work/sess/sess.ardour"
