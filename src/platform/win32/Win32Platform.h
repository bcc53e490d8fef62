#pragma once

#include "platform/win32/Gdiplus.h"
#include "ui/Platform.h"

namespace ui::win32 {

// The platform on Win32: windows from the executable's dialog templates,
// GDI+ pictures, WinINet, IP Helper and the shell. Starts OLE (for the
// embedded browser) and GDI+ for its lifetime; one per process, on the GUI
// thread.
class Win32Platform : public Platform {
 public:
  Win32Platform();
  ~Win32Platform() override;

  std::unique_ptr<WindowPeer> CreateWindowPeer(Window& window) override;
  Size ScreenSize() const override;
  Size SmallIconSize() const override;
  Size IconSize() const override;
  void PostQuit(int exitCode) override;

  std::optional<std::vector<std::uint8_t>> FindResource(ResourceType type, int id) const override;
  std::optional<PixelImage> DecodePng(const std::vector<std::uint8_t>& bytes) const override;
  std::unique_ptr<Picture> LoadPicture(ResourceType type, int id) override;
  std::unique_ptr<VersionData> ReadVersionData(const std::string& path) const override;

  std::string ModulePath() const override;
  char PathSeparator() const override { return '\\'; }
  std::string CommandLineArgs() const override;
  std::string ExecutableSuffix() const override { return ".exe"; }
  bool StartProcess(const std::string& path, const std::string& arguments) override;
  bool AppendToExistingFile(const std::string& path, const std::string& bytes) override;

  std::string HttpGet(const std::string& url, bool readBody, const std::string& userAgent) override;
  void OpenInSystemBrowser(const std::string& target) override;
  std::optional<std::vector<HardwareAddress>> AdapterAddresses() const override;
  UrlCache* BrowserUrlCache() override;
  bool CleanBrowserCache() override;
  void RegisterForRestart() override;

  SystemTime UtcNow() const override;

 private:
  bool m_oleStarted = false;
  GdiplusSession m_gdiplus;
};

// The argument text of a command line: what follows the program name and the
// blanks after it, as the C runtime hands it to WinMain.
std::wstring ArgumentsOf(const std::wstring& commandLine);

}  // namespace ui::win32
