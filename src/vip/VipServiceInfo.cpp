#include "vip/VipServiceInfo.h"

VipServiceInfo& VipServiceInfo::Instance() {
  // Lives until the process ends, like the other process-wide records.
  static VipServiceInfo* const record = new VipServiceInfo;
  return *record;
}

namespace {
// Created during start-up, before any window, as the record always was.
[[maybe_unused]] VipServiceInfo& g_vipServiceInfo = VipServiceInfo::Instance();
}  // namespace
