#include <gtest/gtest.h>

#include <string>

#include "ui/Digest.h"

namespace {

// The platform's MD5 backend against the RFC 1321 test suite, plus inputs the
// suite lacks: zero bytes inside the text and all 256 byte values over several
// blocks (the signature input carries the server id's bytes unchanged).
TEST(Md5Hex, MatchesTheRfc1321SuiteAndArbitraryBytes) {
  std::string allBytes;
  for (int round = 0; round < 5; ++round)
    for (int b = 0; b < 256; ++b) allBytes.push_back(static_cast<char>(b));
  const struct {
    std::string input;
    const char* digest;
  } cases[] = {
      {"", "d41d8cd98f00b204e9800998ecf8427e"},
      {"a", "0cc175b9c0f1b6a831c399e269772661"},
      {"abc", "900150983cd24fb0d6963f7d28e17f72"},
      {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
      {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
      {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "d174ab98d277d9f5a5611c2c9f419d9f"},
      {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
       "57edf4a22be3c955ac49da2e2107b67a"},
      {std::string(1, '\0'), "93b885adfe0da089cdf634904fd59f71"},
      {std::string("a\0b", 3), "70350f6027bce3713f6b76473084309b"},
      {allBytes, "82829f1f3f2bb0f18b25f278e5bba8bd"},
  };
  for (const auto& c : cases) EXPECT_EQ(ui::Md5Hex(c.input), c.digest) << "input of " << c.input.size() << " bytes";
}

}  // namespace
