#pragma once

#include <string>

// One blocking HTTP GET through the platform. With readBody the answer is the
// response body with every CR and LF byte removed (error statuses included);
// without it the request is still sent and the answer is empty. Any failure
// gives empty text. The user agent is the executable's base name.
std::string HttpGetText(std::string url, bool readBody);
