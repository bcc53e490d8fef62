#include "gamewnd/BrowserCache.h"

#include "core/ExecutableName.h"
#include "ui/Platform.h"
#include "ui/Window.h"

void CleanBrowserCache(ui::Window& owner) {
  if (!ui::GetPlatform().CleanBrowserCache()) return;
  owner.MessageBox("缓存清理完毕", ExecutableBaseName(), ui::kMbOk);
}
