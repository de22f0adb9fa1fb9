// Placeholder until the embedded bitmap table is generated: no resources.
#include "graphics/Resources.h"

namespace morvanta {

ResourceBytes FindResourceBytes(int) { return {}; }

}  // namespace morvanta
