#include "platform/win32/Win32Platform.h"

#include "platform/win32/WinApi.h"
// after windows.h
#include <iphlpapi.h>
#include <ole2.h>
#include <shellapi.h>
#include <wininet.h>

#include <cstring>
#include <new>

#include "platform/win32/Text.h"
#include "platform/win32/Win32WindowPeer.h"
#include "platform/win32/WinInetHttp.h"

namespace ui::win32 {

Win32Platform::Win32Platform() { m_oleStarted = SUCCEEDED(OleInitialize(nullptr)); }

Win32Platform::~Win32Platform() {
  if (m_oleStarted) OleUninitialize();
}

std::unique_ptr<WindowPeer> Win32Platform::CreateWindowPeer(Window& window) {
  return std::make_unique<Win32WindowPeer>(window);
}

Size Win32Platform::ScreenSize() const { return {GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)}; }

Size Win32Platform::SmallIconSize() const { return {GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON)}; }

Size Win32Platform::IconSize() const { return {GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON)}; }

void Win32Platform::PostQuit(int exitCode) { PostQuitMessage(exitCode); }

namespace {

const wchar_t* NativeType(ResourceType type) {
  switch (type) {
    case ResourceType::Png: return L"PNG";
    case ResourceType::Bitmap: return RT_BITMAP;
    case ResourceType::Icon: return RT_GROUP_ICON;
    case ResourceType::Dialog: return RT_DIALOG;
    case ResourceType::Version: return RT_VERSION;
  }
  return nullptr;
}

std::wstring ModuleFileName() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return {};
    if (length < path.size()) {
      path.resize(length);
      return path;
    }
    path.resize(path.size() * 2);
  }
}

}  // namespace

std::optional<std::vector<std::uint8_t>> Win32Platform::FindResource(ResourceType type, int id) const {
  HMODULE module = GetModuleHandleW(nullptr);
  HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(id), NativeType(type));
  if (!found) return std::nullopt;
  HGLOBAL loaded = LoadResource(module, found);
  const void* data = loaded ? LockResource(loaded) : nullptr;
  if (!data) return std::nullopt;
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  return std::vector<std::uint8_t>(bytes, bytes + SizeofResource(module, found));
}

std::optional<PixelImage> Win32Platform::DecodePng(const std::vector<std::uint8_t>& bytes) const {
  auto bitmap = DecodeImageBytes(bytes.data(), bytes.size());
  if (!bitmap) return std::nullopt;
  return ToPixelImage(*bitmap);
}

std::unique_ptr<Picture> Win32Platform::LoadPicture(ResourceType type, int id) {
  std::unique_ptr<Gdiplus::Bitmap> bitmap;
  if (type == ResourceType::Bitmap) {
    HBITMAP handle = LoadBitmapW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id));
    if (handle) {
      // GDI+ copies the pixels, so the GDI bitmap can go at once.
      bitmap.reset(Gdiplus::Bitmap::FromHBITMAP(handle, nullptr));
      DeleteObject(handle);
    }
  } else if (auto bytes = FindResource(type, id)) {
    bitmap = DecodeImageBytes(bytes->data(), bytes->size());
  }
  return std::make_unique<GdiplusPicture>(std::move(bitmap));
}

std::string Win32Platform::ModulePath() const { return Narrow(ModuleFileName()); }

std::wstring ArgumentsOf(const std::wstring& commandLine) {
  size_t at = 0;
  if (!commandLine.empty() && commandLine[0] == L'"') {
    const size_t close = commandLine.find(L'"', 1);
    at = close == std::wstring::npos ? commandLine.size() : close + 1;
  } else {
    while (at < commandLine.size() && commandLine[at] != L' ' && commandLine[at] != L'\t') ++at;
  }
  while (at < commandLine.size() && (commandLine[at] == L' ' || commandLine[at] == L'\t')) ++at;
  return commandLine.substr(at);
}

std::string Win32Platform::CommandLineArgs() const { return Narrow(ArgumentsOf(GetCommandLineW())); }

bool Win32Platform::StartProcess(const std::string& path, const std::string& arguments) {
  const std::wstring application = Widen(path);
  // CreateProcessW may write into the command line, so it gets its own copy.
  std::wstring commandLine = Widen(arguments);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_SHOW;
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(application.c_str(), arguments.empty() ? nullptr : commandLine.data(), nullptr, nullptr, FALSE,
                      0, nullptr, nullptr, &startup, &process)) {
    return false;
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return true;
}

bool Win32Platform::AppendToExistingFile(const std::string& path, const std::string& bytes) {
  HANDLE file = CreateFileW(Widen(path).c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const bool ok = bytes.empty() || (WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                                              nullptr) &&
                                    written == bytes.size());
  CloseHandle(file);
  return ok;
}

std::string Win32Platform::HttpGet(const std::string& url, bool readBody, const std::string& userAgent) {
  return WinInetHttpGet(url, readBody, userAgent);
}

void Win32Platform::OpenInSystemBrowser(const std::string& target) {
  ShellExecuteW(nullptr, L"open", Widen(target).c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

std::optional<std::vector<HardwareAddress>> Win32Platform::AdapterAddresses() const {
  ULONG size = 0;
  if (GetAdaptersInfo(nullptr, &size) != ERROR_BUFFER_OVERFLOW || size == 0) return std::nullopt;
  std::vector<std::uint8_t> buffer(size);
  auto* list = reinterpret_cast<IP_ADAPTER_INFO*>(buffer.data());
  if (GetAdaptersInfo(list, &size) != ERROR_SUCCESS) return std::nullopt;
  std::vector<HardwareAddress> addresses;
  for (const IP_ADAPTER_INFO* adapter = list; adapter; adapter = adapter->Next) {
    HardwareAddress address{};
    std::memcpy(address.data(), adapter->Address, address.size());
    addresses.push_back(address);
  }
  if (addresses.empty()) return std::nullopt;
  return addresses;
}

namespace {

class Win32VersionData : public VersionData {
 public:
  explicit Win32VersionData(std::vector<std::uint8_t> block) : m_block(std::move(block)) {}
  std::optional<std::vector<std::uint8_t>> Query(const std::string& subBlock) const override {
    void* value = nullptr;
    UINT length = 0;
    const std::wstring path = Widen(subBlock);
    if (!VerQueryValueW(m_block.data(), path.c_str(), &value, &length) || !value) return std::nullopt;
    if (subBlock.rfind("\\StringFileInfo\\", 0) != 0) {
      const auto* bytes = static_cast<const std::uint8_t*>(value);
      return std::vector<std::uint8_t>(bytes, bytes + length);
    }
    // Text values are counted in characters, the terminating zero included.
    std::wstring_view text(static_cast<const wchar_t*>(value), length);
    while (!text.empty() && text.back() == L'\0') text.remove_suffix(1);
    const std::string utf8 = Narrow(text);
    return std::vector<std::uint8_t>(utf8.begin(), utf8.end());
  }

 private:
  std::vector<std::uint8_t> m_block;
};

}  // namespace

std::unique_ptr<VersionData> Win32Platform::ReadVersionData(const std::string& path) const {
  const std::wstring file = Widen(path);
  DWORD handle = 0;
  const DWORD size = GetFileVersionInfoSizeW(file.c_str(), &handle);
  if (size == 0) return nullptr;
  std::vector<std::uint8_t> block(size);
  GetFileVersionInfoW(file.c_str(), 0, size, block.data());
  return std::make_unique<Win32VersionData>(std::move(block));
}

void Win32Platform::RegisterForRestart() {
  // Restart only, no recovery callback: after a crash, a hang or an update
  // that closed it, the system starts the executable again without
  // arguments. Wine accepts the call and does nothing with it.
  RegisterApplicationRestart(nullptr, 0);
}

namespace {

// WinINet's URL cache. The records are the wide ones, so addresses come as
// UTF-16 whatever the system's code page.
class WinInetUrlCache : public UrlCache {
 public:
  Handle FindFirstEntry(std::vector<std::uint8_t>& buffer, std::uint32_t& size) override {
    DWORD bytes = size;
    HANDLE handle = FindFirstUrlCacheEntryW(nullptr, Record(buffer), &bytes);
    m_last = handle ? 0 : GetLastError();
    size = bytes;
    return handle;
  }
  bool FindNextEntry(Handle handle, std::vector<std::uint8_t>& buffer, std::uint32_t& size) override {
    DWORD bytes = size;
    const bool ok = FindNextUrlCacheEntryW(handle, Record(buffer), &bytes) != FALSE;
    m_last = ok ? 0 : GetLastError();
    size = bytes;
    return ok;
  }
  std::uint32_t LastError() const override { return m_last; }
  Entry EntryIn(const std::vector<std::uint8_t>& buffer) const override {
    const auto* record = reinterpret_cast<const INTERNET_CACHE_ENTRY_INFOW*>(buffer.data());
    return {record->CacheEntryType, record->lpszSourceUrlName ? Narrow(record->lpszSourceUrlName) : std::string()};
  }
  bool DeleteEntry(const std::string& sourceUrl) override { return DeleteUrlCacheEntryW(Widen(sourceUrl).c_str()); }
  void Close(Handle handle) override { FindCloseUrlCache(handle); }

 private:
  static INTERNET_CACHE_ENTRY_INFOW* Record(std::vector<std::uint8_t>& buffer) {
    // Never smaller than the record itself, whatever size the caller keeps.
    if (buffer.size() < sizeof(INTERNET_CACHE_ENTRY_INFOW)) buffer.resize(sizeof(INTERNET_CACHE_ENTRY_INFOW));
    return reinterpret_cast<INTERNET_CACHE_ENTRY_INFOW*>(buffer.data());
  }
  std::uint32_t m_last = 0;
};

}  // namespace

UrlCache* Win32Platform::BrowserUrlCache() {
  static WinInetUrlCache cache;
  return &cache;
}

// The control's cache is the system's URL cache, walked by the caller.
bool Win32Platform::CleanBrowserCache() { return true; }

SystemTime Win32Platform::UtcNow() const {
  SYSTEMTIME now{};
  GetSystemTime(&now);
  return {now.wYear, now.wMonth, now.wDayOfWeek, now.wDay, now.wHour, now.wMinute, now.wSecond, now.wMilliseconds};
}

}  // namespace ui::win32
