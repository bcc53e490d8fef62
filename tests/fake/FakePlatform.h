#pragma once

#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "FakeWindowPeer.h"
#include "ui/Platform.h"

namespace fake {

// What a modal loop answers when the test's script did not end it.
inline constexpr int kModalNotEnded = -100;

// An in-memory platform: answers come from its public fields, calls are
// recorded in them, and modal loops run the scripts tests register.
class FakePlatform : public ui::Platform {
 public:
  FakePlatform();
  ~FakePlatform() override;

  std::unique_ptr<ui::WindowPeer> CreateWindowPeer(ui::Window& window) override;
  ui::Size ScreenSize() const override { return screen; }
  ui::Size SmallIconSize() const override { return {16, 16}; }
  ui::Size IconSize() const override { return {32, 32}; }
  void PostQuit(int exitCode) override;
  std::optional<std::vector<std::uint8_t>> FindResource(ui::ResourceType type, int id) const override;
  std::optional<ui::PixelImage> DecodePng(const std::vector<std::uint8_t>& bytes) const override;
  std::unique_ptr<ui::Picture> LoadPicture(ui::ResourceType type, int id) override;
  std::unique_ptr<ui::VersionData> ReadVersionData(const std::string& path) const override;
  std::string ModulePath() const override { return modulePath; }
  char PathSeparator() const override { return separator; }
  std::string CommandLineArgs() const override { return commandLine; }
  std::string ExecutableSuffix() const override { return executableSuffix; }
  bool StartProcess(const std::string& path, const std::string& arguments) override;
  bool AppendToExistingFile(const std::string& path, const std::string& bytes) override;
  std::string HttpGet(const std::string& url, bool readBody, const std::string& userAgent) override;
  void OpenInSystemBrowser(const std::string& target) override { opened.push_back(target); }
  std::optional<std::vector<ui::HardwareAddress>> AdapterAddresses() const override { return adapters; }
  ui::UrlCache* BrowserUrlCache() override { return urlCache; }
  bool CleanBrowserCache() override {
    ++cacheCleanings;
    return cacheCleaningSucceeds;
  }
  void RegisterForRestart() override { ++restartRegistrations; }
  ui::SystemTime UtcNow() const override { return now; }

  // Adds a PNG resource whose decoding gives `image`.
  void AddPng(int id, ui::PixelImage image);
  // The skinned windows' pictures (161 to 167) at the artwork's sizes; every
  // fake platform starts with them.
  void AddSkinArt();
  void RemovePng(int id) { m_pngs.erase(id); }
  // All peers created so far, in creation order, and the ones of a template.
  std::vector<FakeWindowPeer*> Windows(int templateId) const;

  // Bitmap resources by number, as their sizes; and every picture loaded.
  std::map<int, ui::Size> bitmaps;
  std::vector<std::pair<ui::ResourceType, int>> pictureLoads;
  ui::Size screen{1920, 1080};
  std::string modulePath = "C:\\Games\\Client\\KQVClient.exe";
  char separator = '\\';
  std::string executableSuffix = ".exe";
  std::string commandLine;
  std::optional<std::vector<ui::HardwareAddress>> adapters;
  ui::SystemTime now;
  // Existing files and their contents; only these can be appended to.
  std::map<std::string, std::string> files;
  std::vector<std::pair<std::string, std::string>> processes;  // path, arguments
  bool processStartSucceeds = true;
  std::vector<std::string> opened;
  int cacheCleanings = 0;
  ui::UrlCache* urlCache = nullptr;  // none: the engine's cache is cleared whole
  bool cacheCleaningSucceeds = true;
  int restartRegistrations = 0;
  // Version data by executable path: sub-block path to value bytes.
  std::map<std::string, std::map<std::string, std::vector<std::uint8_t>>> versionData;
  mutable std::vector<std::string> versionReads;
  std::function<std::string(const std::string& url, bool readBody, const std::string& userAgent)> onHttpGet;
  std::vector<std::string> httpRequests;
  // Answers message boxes; without it every box answers No.
  std::function<int(const std::string& text, const std::string& caption, unsigned style)> onMessageBox;
  struct Box {
    std::string text, caption;
    unsigned style;
  };
  std::vector<Box> messageBoxes;
  // Runs inside the modal loop of a window of that template.
  std::map<int, std::function<void(FakeWindowPeer&)>> onModal;
  bool quitPosted = false;
  std::vector<FakeWindowPeer*> peers;
  // Every browser created, including those of windows already gone.
  std::vector<FakeBrowser*> browsers;
  // Shapes each new browser before its window goes on.
  std::function<void(FakeBrowser&)> onBrowserCreated;

 private:
  std::map<int, ui::PixelImage> m_pngs;
  ui::Platform* m_previous;
};

}  // namespace fake
