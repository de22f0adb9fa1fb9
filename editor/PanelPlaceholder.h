// Stand-in for the editor window until the panel lands: reports the
// panel's fixed size so hosts can lay out, and declines to open.
#pragma once

#include "plugin/Facts.h"
#include "plugin/PluginCore.h"

namespace morvanta {

class PanelPlaceholder : public EditorLink {
 public:
  void ParameterDisplayUpdate(int, double, bool) override {}
  int Width() const override { return kPanelWidth; }
  int Height() const override { return kPanelHeight; }
  bool Open(void*) override { return false; }
  void Close() override {}
};

}  // namespace morvanta
