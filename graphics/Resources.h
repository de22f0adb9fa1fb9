// Bytes compiled into the plug-in (the panel's PNG bitmaps), found by
// resource id. The table is generated at build time from resources/img/.
#pragma once

#include <cstddef>

namespace morvanta {

struct ResourceBytes {
  const unsigned char* data = nullptr;
  std::size_t size = 0;
};

// The embedded bytes for `id`; {nullptr, 0} when there is no such resource.
ResourceBytes FindResourceBytes(int id);

}  // namespace morvanta
