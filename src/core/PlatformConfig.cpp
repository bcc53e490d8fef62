#include "core/PlatformConfig.h"

#include "BuildConfig.h"
#include "ui/Platform.h"

PlatformConfig& PlatformConfig::Instance() {
  static PlatformConfig* instance = new PlatformConfig();  // lives until the process ends
  return *instance;
}

void PlatformConfig::LoadDefaults() {
  m_moduleDir.clear();
  ModuleDir();
  const std::string game = build::kGameSite;
  m_values["page"] = game + "/mini/login.html";
  m_values["platform"] = build::kPlatform;
  m_values["home"] = game + "/index.html";
  m_values["service"] = std::string(build::kServiceSite) + "/cs?type=game&gamekey=qelu";
  m_values["bbs"] = std::string(build::kForumSite) + "/forum-2959-1.html";
  m_values["charge"] = std::string(build::kPaySite) + "/order.html?gkey=qelu&skey=S1&qid=";
  m_values["airclient"] = build::kAirClient;
}

std::string PlatformConfig::Get(std::string key) const {
  auto it = m_values.find(key);
  return it == m_values.end() ? std::string() : it->second;
}

void PlatformConfig::Set(std::string key, std::string value) { m_values[std::move(key)] = std::move(value); }

void PlatformConfig::SaveValue(std::string key, std::string value) {
  auto& platform = ui::GetPlatform();
  const std::string path = ModuleDir() + platform.PathSeparator() + "pm_config.ini";
  platform.AppendToExistingFile(path, "\r\n" + key + "=" + value);
}

std::string PlatformConfig::ModuleDir() {
  if (!m_moduleDir.empty()) return m_moduleDir;
  auto& platform = ui::GetPlatform();
  // UTF-8 has no trailing byte equal to an ASCII separator, so a plain
  // search for the last one is safe with any directory name.
  const std::string path = platform.ModulePath();
  const auto last = path.rfind(platform.PathSeparator());
  m_moduleDir = last == std::string::npos ? std::string() : path.substr(0, last);
  return m_moduleDir;
}
