#include "core/StartUrl.h"

#include <algorithm>

#include "core/MachineIdentity.h"
#include "core/PlatformConfig.h"
#include "ui/Platform.h"

std::string BuildStartUrl() {
  const PlatformConfig& config = PlatformConfig::Instance();
  std::string result = config.Get("page");
  const std::string platform = config.Get("platform");
  if (platform == "baidu") {
    // That platform's login page carries a query already.
    return result + "&mac=" + GetMacAddress();
  }
  if (platform != "360") return result;

  std::string args = ui::GetPlatform().CommandLineArgs();
  const auto option = args.find("-url");
  if (args.empty() || option == std::string::npos) return result;
  args.erase(0, option);
  // Everything from the first quote on is the address, further arguments
  // included. An address given without quotes starts after the option's
  // name and the blanks that follow it.
  if (const auto quote = args.find('"'); quote != std::string::npos) {
    args.erase(0, quote);
  } else {
    args.erase(0, std::min(args.size(), args.find_first_not_of(" \t", 4)));
  }
  args.erase(std::remove(args.begin(), args.end(), '"'), args.end());
  return args;
}
