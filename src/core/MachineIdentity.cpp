#include "core/MachineIdentity.h"

#include <cstdio>

#include "ui/Platform.h"

std::string GetMacAddress() {
  const auto adapters = ui::GetPlatform().AdapterAddresses();
  if (!adapters || adapters->empty()) return {};
  const ui::HardwareAddress& first = adapters->front();
  char text[13];
  std::snprintf(text, sizeof text, "%02X%02X%02X%02X%02X%02X", first[0], first[1], first[2], first[3], first[4],
                first[5]);
  return text;
}
