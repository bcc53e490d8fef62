#include <string>

#include "BuildConfig.h"
#include "core/HttpGetText.h"
#include "ui/Digest.h"
#include "vip/VipServiceInfo.h"

namespace {

constexpr const char* kPlatformId = "121140";
constexpr const char* kGameKey = "qelu";
constexpr const char* kTypes = "1,2,3,4";
constexpr const char* kSigningKey = "3b8e0f6a91c4d27e5a0b6c8d1f2e7a94";

std::string FixedAddress() {
  return std::string(build::kVipServiceBase) + "/client.html?platform=" + kPlatformId + "&gkey=" + kGameKey +
         "&type=" + kTypes;
}

}  // namespace

std::string VipServiceInfo::RequestAddress(const std::string& skey) {
  // The server id goes into the signature and the address exactly as given:
  // no escaping, so the service sees and signs the same bytes.
  const std::string sign = ui::Md5Hex(std::string(kPlatformId) + kGameKey + skey + kTypes + "#" + kSigningKey);
  return FixedAddress() + "&skey=" + skey + "&sign=" + sign;
}

void VipServiceInfo::QueryVipService(const std::string& skey) {
  const std::string address = RequestAddress(skey);
  m_nErrno = -1;
  const std::string reply = HttpGetText(address, true);
  // Only a bare object is read: an error page or white space around the
  // object leaves the record without a reply.
  if (reply.size() >= 2 && reply.front() == '{' && reply.back() == '}') ReadVipServiceReply(reply);
}
