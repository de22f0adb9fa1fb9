// Builds without a window system: the panel stays headless and the host is
// told the editor cannot open.
#include "graphics/PanelWindow.h"

namespace morvanta {

std::unique_ptr<PanelWindow> OpenPanelWindow(void*, PanelWindowClient&) { return nullptr; }

}  // namespace morvanta
