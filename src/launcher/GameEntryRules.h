#pragma once

#include <string>

// Whether a navigation of the launcher's browser to `address` is the step
// into the game on `platform`. Exact, case-sensitive byte comparisons; a
// platform without a rule never matches.
bool IsGameEntryUrl(const std::string& platform, const std::string& address);
