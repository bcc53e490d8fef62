// The machine address the system reports, against the adapter list of the
// system itself.
#include <gtest/gtest.h>

#include <winsock2.h>
#include <iphlpapi.h>

#include <cstdio>
#include <regex>
#include <string>
#include <vector>

#include "core/MachineIdentity.h"

namespace {

TEST(MachineAddress, IsTheFirstAdaptersAddressInTwelveUpperCaseHexDigits) {
  ULONG size = 0;
  ASSERT_EQ(GetAdaptersInfo(nullptr, &size), static_cast<ULONG>(ERROR_BUFFER_OVERFLOW)) << "no adapters here";
  std::vector<unsigned char> buffer(size);
  auto* first = reinterpret_cast<IP_ADAPTER_INFO*>(buffer.data());
  ASSERT_EQ(GetAdaptersInfo(first, &size), static_cast<ULONG>(ERROR_SUCCESS));
  char expected[13];
  std::snprintf(expected, sizeof expected, "%02X%02X%02X%02X%02X%02X", first->Address[0], first->Address[1],
                first->Address[2], first->Address[3], first->Address[4], first->Address[5]);

  const std::string address = GetMacAddress();
  EXPECT_TRUE(std::regex_match(address, std::regex("^[0-9A-F]{12}$"))) << address;
  EXPECT_EQ(address, expected);
  // Asked anew, the same.
  EXPECT_EQ(GetMacAddress(), address);
}

}  // namespace
