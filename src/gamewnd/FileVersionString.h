#pragma once

#include <string>

// The FileVersion text of the running executable's version data, read from
// the file on disk: the values of every translation it lists, run together.
// "error" when the file has no version data or its path is 200 characters or
// longer; empty when there is no translation or no FileVersion.
std::string GetFileVersionString();
