#pragma once
// A portable document host handler as the browser's own IDocHostUIHandler:
// every call is handed on with its arguments in portable types.

#include "platform/win32/WinApi.h"
// after windows.h
#include <mshtmhst.h>

#include "ui/DocHostUIHandler.h"

namespace ui::win32 {

// A new adapter with one reference, which the caller owns; null for a null
// handler. The adapter holds a reference on handler and releases it when its
// own last reference goes.
IDocHostUIHandler* CreateDocHostUIAdapter(DocHostUIHandler* handler);

Guid ToGuid(const GUID& guid);

}  // namespace ui::win32
