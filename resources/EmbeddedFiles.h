// The files of resources/img as compiled into the plug-in; the list ends
// with an entry whose name is null.
#pragma once

#include <cstddef>

namespace morvanta {

struct EmbeddedFile {
  const char* name;  // file name without directory, e.g. "undo1.png"
  const unsigned char* data;
  std::size_t size;
};

extern const EmbeddedFile kEmbeddedFiles[];

}  // namespace morvanta
