// morvanta-edithost: opens Morvanta's editor in a window of its own through
// the VST2 interface, for trying the panel by hand and for the window tests.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "tools/edithost/EditHost.h"

namespace {

const char kUsage[] =
    "usage: morvanta-edithost [options]\n"
    "  --plugin PATH    the plug-in to load (default: this build's Morvanta.so)\n"
    "  --instances N    instances, each in a window of its own (1..4, default 1)\n"
    "  --idle HZ        effEditIdle rate, 0 = never (default 25)\n"
    "  --midi FILE      play a Standard MIDI File once\n"
    "  --aplay          play the sound through aplay (default: rendered, not heard)\n"
    "  --closed         start with the editors closed\n"
    "  --map-late       show the host window only once the editor is open in it\n"
    "Keys z s x d c v g b h n j m , and q 2 w 3 e r 5 t 6 y 7 u i play notes.\n"
    "Commands on stdin, one a line: open [I], close [I], destroy-parent [I],\n"
    "get PARAM [I], set PARAM VALUE [I], note KEY on|off [I], idle HZ, stats,\n"
    "sync, quit. Edits the plug-in reports are printed as\n"
    "'begin I PARAM', 'automate I PARAM VALUE', 'end I PARAM'.\n";

int Fail(const std::string& message) {
  std::fprintf(stderr, "morvanta-edithost: %s\n", message.c_str());
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  morvanta::edithost::Options options;
  options.plugin = MORVANTA_PLUGIN_PATH;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool hasValue = i + 1 < argc;
    if (arg == "--plugin" && hasValue) {
      options.plugin = argv[++i];
    } else if (arg == "--instances" && hasValue) {
      options.instances = std::atoi(argv[++i]);
      if (options.instances < 1 || options.instances > 4) return Fail("--instances takes 1 to 4");
    } else if (arg == "--idle" && hasValue) {
      options.idleHz = std::atof(argv[++i]);
      if (!(options.idleHz >= 0.0 && options.idleHz <= 1000.0)) return Fail("--idle takes 0 to 1000");
    } else if (arg == "--midi" && hasValue) {
      options.midiFile = argv[++i];
    } else if (arg == "--aplay") {
      options.aplay = true;
    } else if (arg == "--map-late") {
      options.mapLate = true;
    } else if (arg == "--closed") {
      options.openAtStart = false;
    } else if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    } else {
      std::fputs(kUsage, stderr);
      return Fail("unknown option " + arg);
    }
  }
  morvanta::edithost::EditHost host(options);
  std::string error;
  if (!host.Start(&error)) return Fail(error);
  host.Run();
  return 0;
}
