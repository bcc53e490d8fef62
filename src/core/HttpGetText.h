#pragma once

#include <string>

// One blocking HTTP GET through the platform. With readBody the answer is the
// response body with every CR and LF byte removed (error statuses included);
// without it the request is still sent and the answer is empty. Any failure
// gives empty text.
std::string HttpGetText(std::string url, bool readBody);

// The user agent the system sends: the executable's file name without its
// extension, taken from the full path split at the platform's separator.
std::string UserAgentFromModulePath(const std::string& modulePath, char separator);
