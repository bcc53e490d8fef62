#include "gamewnd/BrowserCache.h"

#include <new>
#include <stdexcept>

#include "core/ExecutableName.h"
#include "ui/Platform.h"
#include "ui/Window.h"

bool CleanUrlCache(ui::UrlCache& cache) {
  // A call that fails for lack of room does not move the walk on, so an
  // entry that does not fit is read again into a larger buffer. A cache that
  // asks for no more than it was given would be asked for ever: that ends
  // the walk.
  std::uint32_t size = 4096;
  std::uint32_t given = 0;
  std::vector<std::uint8_t> buffer;
  ui::UrlCache::Handle handle = nullptr;
  std::uint32_t last = ui::UrlCache::kErrorInsufficientBuffer;
  bool enough = true;
  try {
    for (;;) {
      bool ok = false;
      if (last == 0) {
        const ui::UrlCache::Entry entry = cache.EntryIn(buffer);
        if (!(entry.type & ui::UrlCache::kCookieCacheEntry)) cache.DeleteEntry(entry.sourceUrl);
        given = size;
        ok = cache.FindNextEntry(handle, buffer, size);
      } else if (last == ui::UrlCache::kErrorInsufficientBuffer && size > given) {
        buffer = {};
        buffer.resize(std::max<std::uint32_t>(size, sizeof size));
        // The record's declared size, its first field.
        for (unsigned i = 0; i < sizeof size; ++i) buffer[i] = static_cast<std::uint8_t>(size >> (8 * i));
        given = size;
        if (!handle) {
          handle = cache.FindFirstEntry(buffer, size);
          ok = handle != nullptr;
        } else {
          ok = cache.FindNextEntry(handle, buffer, size);
        }
      } else {
        break;
      }
      last = ok ? 0 : cache.LastError();
    }
  } catch (const std::bad_alloc&) {
    enough = false;
  } catch (const std::length_error&) {
    enough = false;
  }
  if (handle) cache.Close(handle);
  return enough;
}

void CleanBrowserCache(ui::Window& owner) {
  ui::Platform& platform = ui::GetPlatform();
  ui::UrlCache* cache = platform.BrowserUrlCache();
  if (!(cache ? CleanUrlCache(*cache) : platform.CleanBrowserCache())) return;
  owner.MessageBox("缓存清理完毕", ExecutableBaseName(), ui::kMbOk);
}
