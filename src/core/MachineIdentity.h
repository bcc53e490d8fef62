#pragma once

#include <string>

// The first network adapter's hardware address as 12 upper-case hexadecimal
// digits, bytes in the adapter's order; empty when no adapter can be read.
// Asked anew at every call.
std::string GetMacAddress();
