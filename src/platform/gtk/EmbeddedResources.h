#pragma once

// The client's resources compiled into the Linux executable: the pictures,
// the icon and the version text, generated at build time from res/ by
// tools/art/embed_resources.py (cmake/Resources.cmake).

namespace ui::gtk {

struct EmbeddedResource {
  int type;  // static_cast<int>(ui::ResourceType) from ui/Platform.h
  int id;
  const unsigned char* data;
  unsigned long size;
};

extern const EmbeddedResource kEmbeddedResources[];
extern const unsigned long kEmbeddedResourceCount;

// The resource of that type and number, or nullptr.
const EmbeddedResource* FindEmbeddedResource(int type, int id);

}  // namespace ui::gtk
