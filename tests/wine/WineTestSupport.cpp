#include "WineTestSupport.h"

#include <windows.h>
#include <shellapi.h>
#include <wininet.h>

#include <fstream>
#include <sstream>

#include "platform/win32/Text.h"
#include "platform/win32/Win32WindowPeer.h"
#include "ui/Platform.h"

using ui::win32::Narrow;
using ui::win32::Widen;

namespace wine_tests {

HWND Handle(const ui::Window& window) { return static_cast<ui::win32::Win32WindowPeer&>(window.Peer()).Handle(); }

void Pump(DWORD milliseconds) {
  const ULONGLONG end = GetTickCount64() + milliseconds;
  MSG msg;
  do {
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) ui::win32::Win32WindowPeer::ProcessMessage(msg);
    Sleep(5);
  } while (GetTickCount64() < end);
}

TempDir::TempDir(const std::string& name) {
  wchar_t base[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, base);
  std::wstring path = base;
  if (!path.empty() && path.back() == L'\\') path.pop_back();
  path += L"\\kqv-" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(GetTickCount64());
  CreateDirectoryW(path.c_str(), nullptr);
  path += L"\\" + Widen(name);
  CreateDirectoryW(path.c_str(), nullptr);
  m_path = Narrow(path);
}

TempDir::~TempDir() {
  // The parent folder of the named one goes too: both are ours.
  const std::wstring inner = Widen(m_path);
  const std::wstring outer = inner.substr(0, inner.rfind(L'\\'));
  std::wstring from = outer + L'\0';  // a list of one path, double-terminated
  SHFILEOPSTRUCTW operation{};
  operation.wFunc = FO_DELETE;
  operation.pFrom = from.c_str();
  operation.fFlags = FOF_NO_UI;
  SHFileOperationW(&operation);
}

bool FileExists(const std::string& path) { return GetFileAttributesW(Widen(path).c_str()) != INVALID_FILE_ATTRIBUTES; }

std::string ReadFile(const std::string& path) {
  std::ifstream in(Widen(path).c_str(), std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(Widen(path).c_str(), std::ios::binary);
  out << bytes;
}

bool RunAsChild() {
  wchar_t report[MAX_PATH * 2] = {};
  if (!GetEnvironmentVariableW(Widen(kChildReportVariable).c_str(), report, MAX_PATH * 2)) return false;
  // The child reports what it received; the test that started it judges.
  std::string text = "args=" + ui::GetPlatform().CommandLineArgs() + "\n";
  text += "module=" + ui::GetPlatform().ModulePath() + "\n";
  int count = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &count);
  for (int i = 0; i < count; ++i) text += "argv=" + Narrow(argv[i]) + "\n";
  LocalFree(argv);
  // Written under another name and renamed, so the test never reads half.
  const std::string done = Narrow(report);
  // A test that made this file counts the children it started.
  ui::GetPlatform().AppendToExistingFile(done + ".starts", "start\n");
  WriteFile(done + ".part", text);
  MoveFileW(Widen(done + ".part").c_str(), report);
  return true;
}

bool InUrlCache(const std::wstring& url) {
  DWORD size = 0;
  GetUrlCacheEntryInfoW(url.c_str(), nullptr, &size);
  return GetLastError() == ERROR_INSUFFICIENT_BUFFER;
}

bool AddUrlCacheEntry(const std::wstring& url, unsigned long type) {
  wchar_t file[MAX_PATH] = {};
  if (!CreateUrlCacheEntryW(url.c_str(), 0, L"txt", file, 0)) return false;
  HANDLE handle = CreateFileW(file, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  DWORD written = 0;
  ::WriteFile(handle, "x", 1, &written, nullptr);
  CloseHandle(handle);
  FILETIME none{};
  return CommitUrlCacheEntryW(url.c_str(), file, none, none, type, nullptr, 0, nullptr, nullptr);
}

}  // namespace wine_tests
