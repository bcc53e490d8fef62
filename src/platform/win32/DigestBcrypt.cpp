#include "ui/Digest.h"

#include <windows.h>
#include <bcrypt.h>

namespace ui {
namespace {

// Owns the three handles of one digest so that every exit releases them.
class Md5Session {
 public:
  ~Md5Session() {
    if (hash_) BCryptDestroyHash(hash_);
    if (algorithm_) BCryptCloseAlgorithmProvider(algorithm_, 0);
  }
  bool Compute(std::string_view bytes, UCHAR (&digest)[16]) {
    if (!BCRYPT_SUCCESS(BCryptOpenAlgorithmProvider(&algorithm_, BCRYPT_MD5_ALGORITHM, nullptr, 0))) return false;
    if (!BCRYPT_SUCCESS(BCryptCreateHash(algorithm_, &hash_, nullptr, 0, nullptr, 0, 0))) return false;
    // BCryptHashData takes a ULONG length; feed larger inputs in pieces.
    const auto* data = reinterpret_cast<const UCHAR*>(bytes.data());
    std::size_t left = bytes.size();
    while (left > 0) {
      const ULONG piece = left > 0x40000000u ? 0x40000000u : static_cast<ULONG>(left);
      if (!BCRYPT_SUCCESS(BCryptHashData(hash_, const_cast<PUCHAR>(data), piece, 0))) return false;
      data += piece;
      left -= piece;
    }
    return BCRYPT_SUCCESS(BCryptFinishHash(hash_, digest, sizeof digest, 0));
  }

 private:
  BCRYPT_ALG_HANDLE algorithm_ = nullptr;
  BCRYPT_HASH_HANDLE hash_ = nullptr;
};

}  // namespace

std::string Md5Hex(std::string_view bytes) {
  UCHAR digest[16] = {};
  Md5Session session;
  // As on every platform: no digest, empty text; the signed request then fails.
  if (!session.Compute(bytes, digest)) return {};
  static constexpr char kHex[] = "0123456789abcdef";
  std::string hex;
  hex.reserve(32);
  for (UCHAR b : digest) {
    hex.push_back(kHex[b >> 4]);
    hex.push_back(kHex[b & 0x0F]);
  }
  return hex;
}

}  // namespace ui
