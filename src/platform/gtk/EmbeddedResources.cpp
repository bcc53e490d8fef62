#include "platform/gtk/EmbeddedResources.h"

namespace ui::gtk {

const EmbeddedResource* FindEmbeddedResource(int type, int id) {
  for (unsigned long i = 0; i < kEmbeddedResourceCount; ++i) {
    const EmbeddedResource& r = kEmbeddedResources[i];
    if (r.type == type && r.id == id) return &r;
  }
  return nullptr;
}

}  // namespace ui::gtk
