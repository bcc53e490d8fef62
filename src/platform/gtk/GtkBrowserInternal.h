#pragma once

#include <webkit2/webkit2.h>

namespace ui::gtk {

// What the browser's files share.

inline constexpr const char* kBlankPage = "about:blank";

// Whether KQV_INSPECT=1 asks for the engine's inspector.
bool InspectionWanted();

// The inspector's "attach" handler: a window of its own, never docked.
gboolean OpenInspectorWindow(WebKitWebInspector* inspector, gpointer);

}  // namespace ui::gtk
