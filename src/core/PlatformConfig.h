#pragma once

#include <map>
#include <string>

// The settings that tie the client to one web-game platform, filled from the
// defaults built into this build. Keys are exact and case-sensitive.
class PlatformConfig {
 public:
  static PlatformConfig& Instance();

  // Caches ModuleDir, then sets the built-in defaults.
  void LoadDefaults();
  // Empty text for an absent key; an absent key is not added.
  std::string Get(std::string key) const;
  // In memory only: nothing is written, and nothing survives the run.
  void Set(std::string key, std::string value);
  // Appends CR LF key=value to pm_config.ini beside the executable, only if
  // that file already exists. The in-memory value is not touched.
  void SaveValue(std::string key, std::string value);
  // The executable's directory without a trailing separator.
  std::string ModuleDir();

 private:
  std::map<std::string, std::string> m_values;
  std::string m_moduleDir;
};
