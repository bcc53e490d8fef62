#include "platform/win32/Win32Platform.h"

#include "platform/win32/WinApi.h"
// after windows.h
#include <iphlpapi.h>
#include <ole2.h>
#include <shellapi.h>

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
  if (!CreateProcessW(application.c_str(), arguments.empty() ? nullptr : commandLine.data(), nullptr, nullptr, FALSE, 0,
                      nullptr, nullptr, &startup, &process)) {
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
  const bool ok =
      bytes.empty() ||
      (WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) && written == bytes.size());
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

void Win32Platform::RegisterForRestart() {
  // Restart only, no recovery callback: after a crash, a hang or an update
  // that closed it, the system starts the executable again without
  // arguments. Wine accepts the call and does nothing with it.
  RegisterApplicationRestart(nullptr, 0);
}

SystemTime Win32Platform::UtcNow() const {
  SYSTEMTIME now{};
  GetSystemTime(&now);
  return {now.wYear, now.wMonth, now.wDayOfWeek, now.wDay, now.wHour, now.wMinute, now.wSecond, now.wMilliseconds};
}

}  // namespace ui::win32
