#pragma once
// Helpers shared by the Wine tests.

#include <string>

#include "platform/win32/WinApi.h"

namespace ui {
class Window;
}

namespace wine_tests {

// The window's system handle.
HWND Handle(const ui::Window& window);

// Runs the message pump the way the modal loop does, for a while.
void Pump(DWORD milliseconds);

// A directory of its own under the temporary folder, removed with its files
// when the object goes. name may hold any characters (UTF-8).
class TempDir {
 public:
  explicit TempDir(const std::string& name);
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& Path() const { return m_path; }  // UTF-8, no trailing backslash
  std::string File(const std::string& name) const { return m_path + "\\" + name; }

 private:
  std::string m_path;
};

// Entries of the system's URL cache, for the cache-cleaning tests.
bool InUrlCache(const std::wstring& url);
bool AddUrlCacheEntry(const std::wstring& url, unsigned long type);

bool FileExists(const std::string& path);
std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& bytes);

// Set in a child started by a test: the file the child writes its report to.
// The child also appends a line to "<report>.starts" when that file exists.
inline constexpr const char* kChildReportVariable = "KQV_CHILD_REPORT";
// When this process runs as such a child, writes the report and answers true.
bool RunAsChild();

}  // namespace wine_tests
