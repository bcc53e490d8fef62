#include "launcher/GameClientLaunch.h"

#include "core/PlatformConfig.h"
#include "ui/Platform.h"

void LaunchGameClient(const std::string& address) {
  ui::Platform& platform = ui::GetPlatform();
  const char separator = platform.PathSeparator();
  const std::string program = PlatformConfig::Instance().ModuleDir() + separator + "game" + separator + "KQVClient" +
                              platform.ExecutableSuffix();
  // The game client splits this the usual way: an empty program name, p, and
  // the address.
  if (platform.StartProcess(program, " p " + address)) platform.PostQuit(0);
}
