// Resource ids to embedded bytes: the panel's bitmap table names the file of
// each id, the embedded list holds the files by name.
#include <cstring>

#include "EmbeddedFiles.h"
#include "editor/PanelLayout.h"
#include "graphics/Resources.h"

namespace morvanta {

ResourceBytes FindResourceBytes(int id) {
  const PanelBitmap* bitmap = FindPanelBitmap(id);
  if (!bitmap) return {};
  const char* slash = std::strrchr(bitmap->file, '/');
  const char* name = slash ? slash + 1 : bitmap->file;
  for (const EmbeddedFile* f = kEmbeddedFiles; f->name; ++f)
    if (std::strcmp(f->name, name) == 0) return {f->data, f->size};
  return {};
}

}  // namespace morvanta
