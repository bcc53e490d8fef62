#pragma once

#include <string>

// The address the launcher's browser opens first: the `page` setting, with
// the machine's address appended on "baidu", or the address given after
// -url on the command line on "360".
std::string BuildStartUrl();
