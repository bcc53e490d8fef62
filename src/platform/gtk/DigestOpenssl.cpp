#include "ui/Digest.h"

#include <openssl/evp.h>

namespace ui {

std::string Md5Hex(std::string_view bytes) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  // MD5 lives in OpenSSL's default provider; where it is unavailable (a
  // FIPS-only configuration) the answer is empty text, and a signed request
  // then simply fails, like any other failed request.
  if (EVP_Digest(bytes.data(), bytes.size(), digest, &length, EVP_md5(), nullptr) != 1 || length != 16)
    return {};
  static constexpr char kHex[] = "0123456789abcdef";
  std::string hex;
  hex.reserve(2 * length);
  for (unsigned int i = 0; i < length; ++i) {
    hex.push_back(kHex[digest[i] >> 4]);
    hex.push_back(kHex[digest[i] & 0x0F]);
  }
  return hex;
}

}  // namespace ui
