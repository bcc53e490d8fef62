#include "core/ExecutableName.h"

#include "ui/Platform.h"

std::string ExecutableBaseName(const std::string& modulePath, char separator, const std::string& executableSuffix) {
  const std::size_t slash = modulePath.rfind(separator);
  std::string name = slash == std::string::npos ? modulePath : modulePath.substr(slash + 1);
  if (executableSuffix.empty()) return name;
  // A leading dot starts a hidden name, not an extension; keep such a name whole.
  const std::size_t dot = name.rfind('.');
  if (dot != std::string::npos && dot > 0) name.erase(dot);
  return name;
}

std::string ExecutableBaseName() {
  const ui::Platform& platform = ui::GetPlatform();
  return ExecutableBaseName(platform.ModulePath(), platform.PathSeparator(), platform.ExecutableSuffix());
}
