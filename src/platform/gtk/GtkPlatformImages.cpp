#include "platform/gtk/GtkPlatform.h"

#include <cstring>

#include "platform/gtk/CairoCanvas.h"
#include "platform/gtk/EmbeddedResources.h"
#include "platform/gtk/PngDecoder.h"

// Resources and pictures: PNG, bitmaps stored without their file header, icons.

namespace ui::gtk {

std::optional<std::vector<std::uint8_t>> GtkPlatform::FindResource(ResourceType type, int id) const {
  const EmbeddedResource* resource = FindEmbeddedResource(static_cast<int>(type), id);
  if (!resource) return std::nullopt;
  return std::vector<std::uint8_t>(resource->data, resource->data + resource->size);
}

namespace {

struct PixbufLoaderGuard {
  GdkPixbufLoader* loader;
  ~PixbufLoaderGuard() {
    gdk_pixbuf_loader_close(loader, nullptr);
    g_object_unref(loader);
  }
};

std::uint32_t ReadLe32(const std::uint8_t* p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

void PutLe32(std::uint8_t* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

// Bitmap resources are stored the Windows way, without the file header the
// decoder expects; rebuild it.
std::vector<std::uint8_t> WithBitmapFileHeader(const std::vector<std::uint8_t>& dib) {
  if (dib.size() >= 2 && dib[0] == 'B' && dib[1] == 'M') return dib;
  if (dib.size() < 40) return dib;
  const std::uint32_t headerSize = ReadLe32(dib.data());
  const unsigned bitCount = dib[14] | (dib[15] << 8);
  const std::uint32_t compression = ReadLe32(dib.data() + 16);
  std::uint32_t colors = headerSize >= 36 ? ReadLe32(dib.data() + 32) : 0;
  if (colors == 0 && bitCount <= 8) colors = 1u << bitCount;
  std::uint32_t masks = (headerSize == 40 && compression == 3) ? 12 : 0;
  const std::uint32_t offset = 14 + headerSize + masks + colors * 4;
  std::vector<std::uint8_t> file(14);
  file[0] = 'B';
  file[1] = 'M';
  PutLe32(file.data() + 2, static_cast<std::uint32_t>(14 + dib.size()));
  PutLe32(file.data() + 10, offset);
  file.insert(file.end(), dib.begin(), dib.end());
  return file;
}

}  // namespace

GdkPixbuf* PixbufFromBytes(const std::vector<std::uint8_t>& bytes, const char* type) {
  if (bytes.empty()) return nullptr;
  const bool bitmap = type && std::strcmp(type, "bmp") == 0;
  const std::vector<std::uint8_t> data = bitmap ? WithBitmapFileHeader(bytes) : bytes;
  GError* error = nullptr;
  GdkPixbufLoader* loader = type ? gdk_pixbuf_loader_new_with_type(type, &error) : gdk_pixbuf_loader_new();
  if (!loader) {
    g_clear_error(&error);
    return nullptr;
  }
  PixbufLoaderGuard guard{loader};
  if (!gdk_pixbuf_loader_write(loader, data.data(), data.size(), &error) || !gdk_pixbuf_loader_close(loader, &error)) {
    g_clear_error(&error);
    return nullptr;
  }
  GdkPixbuf* pixbuf = gdk_pixbuf_loader_get_pixbuf(loader);
  return pixbuf ? GDK_PIXBUF(g_object_ref(pixbuf)) : nullptr;
}

PixelImage PixbufToBgra(GdkPixbuf* pixbuf) {
  PixelImage image;
  image.width = gdk_pixbuf_get_width(pixbuf);
  image.height = gdk_pixbuf_get_height(pixbuf);
  image.bitsPerPixel = 32;
  image.pitch = image.width * 4;
  image.pixels.resize(static_cast<std::size_t>(image.pitch) * image.height);
  const int channels = gdk_pixbuf_get_n_channels(pixbuf);
  const bool alpha = gdk_pixbuf_get_has_alpha(pixbuf);
  const int stride = gdk_pixbuf_get_rowstride(pixbuf);
  const guchar* src = gdk_pixbuf_read_pixels(pixbuf);
  for (int y = 0; y < image.height; ++y) {
    const guchar* in = src + static_cast<std::ptrdiff_t>(y) * stride;
    std::uint8_t* out = image.pixels.data() + static_cast<std::ptrdiff_t>(y) * image.pitch;
    for (int x = 0; x < image.width; ++x, in += channels, out += 4) {
      out[0] = in[2];
      out[1] = in[1];
      out[2] = in[0];
      out[3] = alpha ? in[3] : 255;
    }
  }
  return image;
}

std::optional<PixelImage> GtkPlatform::DecodePng(const std::vector<std::uint8_t>& bytes) const {
  if (m_pngAhead) {
    if (auto ahead = m_pngAhead->Take(bytes.data(), bytes.size())) return std::move(*ahead);
  }
  return DecodePngBgra(bytes.data(), bytes.size());
}

std::unique_ptr<Picture> GtkPlatform::LoadPicture(ResourceType type, int id) {
  GdkPixbuf* pixbuf = nullptr;
  if (auto bytes = FindResource(type, id)) {
    pixbuf = PixbufFromBytes(*bytes, type == ResourceType::Bitmap ? "bmp"
                                     : type == ResourceType::Png  ? "png"
                                                                  : nullptr);
  }
  auto picture = std::make_unique<CairoPicture>(pixbuf);
  if (pixbuf) g_object_unref(pixbuf);
  return picture;
}

}  // namespace ui::gtk
