#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Canvas.h"
#include "Geometry.h"
#include "PixelImage.h"

namespace ui {

class Window;
class WindowPeer;

enum class ResourceType { Png, Bitmap, Icon, Dialog, Version };

struct SystemTime {
  int year = 0, month = 0, dayOfWeek = 0, day = 0;
  int hour = 0, minute = 0, second = 0, milliseconds = 0;
};

using HardwareAddress = std::array<std::uint8_t, 6>;

// An executable's version data, queried as the platform's version API does.
class VersionData {
 public:
  virtual ~VersionData() = default;
  // The value under a path such as "\\VarFileInfo\\Translation" (its bytes as
  // stored: 16-bit language and code page pairs, little-endian) or
  // "\\StringFileInfo\\080404b0\\FileVersion" (UTF-8 text, no terminator);
  // nothing when the path is not there.
  virtual std::optional<std::vector<std::uint8_t>> Query(const std::string& subBlock) const = 0;
};

// The system's shared URL cache, walked entry by entry as its API does: each
// call reads one entry into the caller's buffer, whose first 32 bits are the
// record's declared size. A buffer too small fails with
// kErrorInsufficientBuffer, gives the size needed and does not move on.
class UrlCache {
 public:
  using Handle = void*;
  struct Entry {
    std::uint32_t type = 0;  // kCookieCacheEntry and other flags
    std::string sourceUrl;   // UTF-8
  };
  static constexpr std::uint32_t kErrorInsufficientBuffer = 122;
  static constexpr std::uint32_t kErrorNoMoreItems = 259;
  static constexpr std::uint32_t kCookieCacheEntry = 0x00100000;

  virtual ~UrlCache() = default;
  // Null on failure, with LastError() telling why.
  virtual Handle FindFirstEntry(std::vector<std::uint8_t>& buffer, std::uint32_t& size) = 0;
  virtual bool FindNextEntry(Handle handle, std::vector<std::uint8_t>& buffer, std::uint32_t& size) = 0;
  virtual std::uint32_t LastError() const = 0;
  // The entry a successful call left in the buffer.
  virtual Entry EntryIn(const std::vector<std::uint8_t>& buffer) const = 0;
  virtual bool DeleteEntry(const std::string& sourceUrl) = 0;
  virtual void Close(Handle handle) = 0;
};

// Everything the system asks of the operating system. One implementation per
// platform (Win32, GTK) and an in-memory fake for tests. The system's own code
// reaches it through GetPlatform().
class Platform {
 public:
  virtual ~Platform() = default;

  // Windows.
  virtual std::unique_ptr<WindowPeer> CreateWindowPeer(Window& window) = 0;
  virtual Size ScreenSize() const = 0;     // primary screen, pixels
  virtual Size SmallIconSize() const = 0;  // what the caption shows
  virtual Size IconSize() const = 0;
  // Ends the running modal loops; DoModal then answers kModalQuit.
  virtual void PostQuit(int exitCode) = 0;

  // Resources built into the executable.
  virtual std::optional<std::vector<std::uint8_t>> FindResource(ResourceType type, int id) const = 0;
  // A PNG decoded to 32-bit blue, green, red, alpha; nothing when undecodable.
  virtual std::optional<PixelImage> DecodePng(const std::vector<std::uint8_t>& bytes) const = 0;
  // A drawable picture from a PNG or bitmap resource; never null, possibly !Ok().
  virtual std::unique_ptr<Picture> LoadPicture(ResourceType type, int id) = 0;
  // The version data of the executable file at path, read from the file;
  // null when it has none.
  virtual std::unique_ptr<VersionData> ReadVersionData(const std::string& path) const = 0;

  // Process and files. Paths are UTF-8.
  virtual std::string ModulePath() const = 0;       // full path of the running executable
  virtual char PathSeparator() const = 0;           // '\\' on Windows, '/' elsewhere
  virtual std::string CommandLineArgs() const = 0;  // text after the executable's name, as received
  // ".exe" on Windows, nothing elsewhere.
  virtual std::string ExecutableSuffix() const = 0;
  // arguments is a command line as Windows programs receive it: the started
  // program splits it by Windows' rules (blanks, double quotes, backslashes).
  virtual bool StartProcess(const std::string& path, const std::string& arguments) = 0;
  // Appends at the end of an existing file; never creates one.
  virtual bool AppendToExistingFile(const std::string& path, const std::string& bytes) = 0;

  // Network and shell.
  // Blocking GET: the body with CR and LF removed, or empty text.
  virtual std::string HttpGet(const std::string& url, bool readBody, const std::string& userAgent) = 0;
  virtual void OpenInSystemBrowser(const std::string& target) = 0;
  // Hardware addresses of the network adapters, first adapter first;
  // nothing when the list cannot be read or is empty.
  virtual std::optional<std::vector<HardwareAddress>> AdapterAddresses() const = 0;
  // The URL cache the browser shares with the system, where there is one to
  // walk; null where the browser engine keeps a cache of its own.
  virtual UrlCache* BrowserUrlCache() = 0;
  // Clears the browser engine's own cache, keeping cookies and other site
  // data; the windows take no input meanwhile. False when it ran out of
  // memory and stopped. Nothing to do where BrowserUrlCache() is not null.
  virtual bool CleanBrowserCache() = 0;
  // Asks the system to restart this program after a crash or an update
  // (restart only, no recovery); nothing where the system has no such service.
  virtual void RegisterForRestart() = 0;

  virtual SystemTime UtcNow() const = 0;
};

Platform& GetPlatform();
void SetPlatform(Platform* platform);
Platform* CurrentPlatform();  // null before one is installed

}  // namespace ui
