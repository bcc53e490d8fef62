#include "ui/Digest.h"

#include <glib.h>

namespace ui {

std::string Md5Hex(std::string_view bytes) {
  // GLib's own MD5: no other library is needed for it. Its hex digest is
  // already the 32 lower-case digits.
  GChecksum* checksum = g_checksum_new(G_CHECKSUM_MD5);
  if (!checksum) return {};
  g_checksum_update(checksum, reinterpret_cast<const guchar*>(bytes.data()), static_cast<gssize>(bytes.size()));
  std::string hex = g_checksum_get_string(checksum);
  g_checksum_free(checksum);
  return hex;
}

}  // namespace ui
