#pragma once

#include <webkit2/webkit2.h>

#include <string>
#include <vector>

namespace ui::gtk {

class GtkBrowser;

// The client's end of window.external: a D-Bus server on a private socket
// (peer to peer, no bus) that the web-process extension (src/platform/gtk/webext) calls while the
// page's script waits. Calls are served on the GUI thread's main context, so
// also inside modal loops, and go to the browser whose page made them.
namespace external_bridge {

// Lets the context's web processes load the extension and reach this
// process. Call once, before the context starts a web process.
void Attach(WebKitWebContext* context);

// The extension's folder: "kqv-web-extension" next to the executable;
// empty when it is not there.
std::string ExtensionDirectory();

// Browsers whose pages may call. A browser leaves before it goes; calls from
// its page then answer "".
void Add(GtkBrowser* browser);
void Remove(GtkBrowser* browser);

// A new generation of host choices: documents built from an older one
// build their window.external again at the next read.
unsigned NextGeneration();

}  // namespace external_bridge

}  // namespace ui::gtk
