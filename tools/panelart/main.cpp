// morvanta-panelart: redraws the panel's PNG bitmaps into resources/img and
// the label list the artwork test reads. Run by hand after changing the
// layout or the look; the build only embeds the committed PNGs.
//   morvanta-panelart [<source dir>]
//   morvanta-panelart --preview <file.png>   (the whole panel with controls)
#include <cstdio>
#include <string>

#include "PanelArt.h"

int main(int argc, char** argv) {
  using namespace morvanta::panelart;
  bool ok = false;
  if (argc > 2 && std::string(argv[1]) == "--preview") {
    ok = WritePreview(argv[2]);
  } else {
    const std::string root = argc > 1 ? argv[1] : MORVANTA_SOURCE_DIR;
    ok = WriteArtwork(root + "/resources/img", root + "/resources/panel-labels.tsv");
    if (ok)
      std::printf("wrote %s/resources/img and %s/resources/panel-labels.tsv\n", root.c_str(),
                  root.c_str());
  }
  ReleaseFonts();
  return ok ? 0 : 1;
}
