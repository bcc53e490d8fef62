#pragma once
// The host's side of a document: the choices it makes for the page
// (context menu, border, scroll bars) and the object page scripts reach as
// window.external.

#include <string>

#include "platform/win32/WinApi.h"
// after windows.h
#include <mshtmhst.h>

#include "ui/Browser.h"

namespace ui::win32 {

// A new handler with one reference, which the caller owns.
IDocHostUIHandler* CreateHostUIHandler(const HostChoices& choices);

// A string argument of an event or a script call: a BSTR, perhaps by
// reference, or whatever converts to one.
std::string VariantText(const VARIANT* value);

}  // namespace ui::win32
