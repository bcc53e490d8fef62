#pragma once
// The program's own spelling of the identities both sides must agree on,
// and the others only the control answers to.

#include <windows.h>

#include "platform/win32/WebBrowserIds.h"

namespace standin {

using ui::win32::kClsidWebBrowser;
using ui::win32::kIidCustomDoc;
using ui::win32::kIidDocHostUIHandler;
using ui::win32::kIidHtmlDocument2;
using ui::win32::kIidWebBrowser2;
using ui::win32::kIidWebBrowserEvents2;
inline constexpr IID kIidWebBrowser = {0xEAB22AC1, 0x30C1, 0x11CF, {0xA7, 0xEB, 0x00, 0x00, 0xC0, 0x5B, 0xAE, 0x0B}};
inline constexpr IID kIidWebBrowserApp = {0x0002DF05, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
inline constexpr IID kIidHtmlDocument = {0x626FC520, 0xA41E, 0x11CF, {0xA7, 0x31, 0x00, 0xA0, 0xC9, 0x08, 0x26, 0x37}};

}  // namespace standin
