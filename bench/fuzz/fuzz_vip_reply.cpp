// libFuzzer target: any reply text read into a fresh service record.
// Besides memory and undefined-behaviour faults it checks what the record
// promises whatever the reply: texts change only with a zero code, stored
// texts hold no zero byte, and no exception other than the reader's absorbed
// ones escapes (libFuzzer reports an escaping exception as a crash).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "vip/VipServiceInfo.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  VipServiceInfo info;
  info.ReadVipServiceReply(std::string(reinterpret_cast<const char*>(data), size));
  const std::string* texts[] = {&info.m_strServerName, &info.m_strLogoutUrl, &info.m_strGsUrl, &info.m_strUserName};
  for (const std::string* text : texts) {
    if (info.m_nErrno != 0 && !text->empty()) std::abort();
    if (text->find('\0') != std::string::npos) std::abort();
  }
  return 0;
}
