#pragma once

#include <string>

// The executable's base name: its file name, taken from the full path split
// at the platform's separator, without its last extension where the
// platform's executables carry one (`executableSuffix` not empty). Where they
// carry none, a dot is part of the name, so the restart finds the file again.
// The HTTP user agent and the restart of the executable both use it.
std::string ExecutableBaseName(const std::string& modulePath, char separator, const std::string& executableSuffix);

// The running executable's base name.
std::string ExecutableBaseName();
