#include "launcher/FirstOpenReport.h"

#include <cstdio>

#include "core/HttpGetText.h"
#include "core/MachineIdentity.h"
#include "core/PlatformConfig.h"
#include "ui/Platform.h"

std::string FormatReportTime() {
  const ui::SystemTime utc = ui::GetPlatform().UtcNow();
  char text[32];
  std::snprintf(text, sizeof text, "%02d:%02d:%02d GMT+0800", (utc.hour + 8) % 24, utc.minute, utc.second);
  return text;
}

void ReportFirstOpen() {
  PlatformConfig& config = PlatformConfig::Instance();
  if (config.Get("platform") != "baidu") return;
  if (config.Get("firstopen") == "false") return;
  const std::string address = config.Get("success");
  if (address.empty()) return;

  // The clock is read before the adapters. Nothing is escaped: the time goes
  // out with its blank and plus sign.
  const std::string time = FormatReportTime();
  HttpGetText(address + "&mac=" + GetMacAddress() + "&time=" + time, false);
  // Whatever became of the request, the report counts as made.
  config.SaveValue("firstopen", "false");
}
