#pragma once

#include <string>

// The executable's base name: its file name without the extension, taken
// from the full path split at the platform's separator. The HTTP user agent
// and the restart of the executable both use it.
std::string ExecutableBaseName(const std::string& modulePath, char separator);

// The running executable's base name.
std::string ExecutableBaseName();
