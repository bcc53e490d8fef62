#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "Canvas.h"
#include "DocHostUIHandler.h"
#include "Geometry.h"

namespace ui {

// What the embedded browser tells its host. Addresses are UTF-8 as the
// engine reports them. Raised on the GUI thread.
class BrowserEvents {
 public:
  virtual ~BrowserEvents() = default;
  // Raised before every navigation of the page and of each frame, redirect
  // targets included. Setting cancel prevents that navigation.
  virtual void OnBeforeNavigate2(const std::string& /*url*/, bool& /*cancel*/) {}
  // Raised when a navigation of the page or of a frame has committed;
  // topLevel marks the page's own.
  virtual void OnNavigateComplete2(const std::string& /*url*/, bool /*topLevel*/) {}
  // Raised for the page and for each frame when its document has loaded.
  virtual void OnDocumentComplete(const std::string& /*url*/) {}
};

// A method page scripts reach as window.external.<name>(args...); the calling
// script waits for its answer, on every backend.
using ExternalMethod = std::function<std::string(const std::vector<std::string>& args)>;

// How the host shapes the browser's documents.
struct HostChoices {
  bool contextMenu = true;
  bool border3d = false;
  bool scrollBars = false;
  // Empty map: window.external is an empty object.
  std::map<std::string, ExternalMethod> external;
};

// New windows a page asks for (a link's target, window.open) never open in
// the embedded browser; once the host has let one through, its address goes
// to the system's browser, and only when it is a web address: http or https
// with a host. Any other scheme (file, data, javascript, ftp, smb, a custom
// one) would hand the page's text to some other program of the desktop, so
// it is refused and nothing starts. Backends call this for every such
// window, from the page and from any of its frames.
bool LeavesForSystemBrowser(const std::string& address);
void OpenNewWindowOutside(const std::string& address);

// The embedded browser: an ordinary child window the host places.
class Browser {
 public:
  virtual ~Browser() = default;
  virtual void Navigate(const std::string& url) = 0;
  virtual void Stop() = 0;
  virtual int ReadyState() const = 0;  // 4: current document complete
  virtual bool HasDocument() const = 0;
  // The title of the page's current document; empty without one.
  virtual std::string Title() const = 0;
  virtual void SetVisible(bool visible) = 0;
  virtual void SetSilent(bool silent) = 0;
  // What the view shows before a page paints, and where a page draws no
  // background of its own.
  virtual void SetBackgroundColor(Color color) = 0;
  // Host hooks for the current document and every later one, frames
  // included. False when they cannot be installed yet (the Linux browser
  // before its first document); the host tries again at the page's first
  // NavigateComplete2. Windows takes them before any document.
  virtual bool InstallHostChoices(const HostChoices& choices) = 0;
  // The document's own host handler, asked from now on about the context
  // menu, the border, the scroll bars and window.external. The browser adds
  // a reference and releases it when its window goes. False when there is no
  // document that takes a handler.
  virtual bool SetUIHandler(DocHostUIHandler* handler) = 0;
  // Position relative to the parent's client area.
  virtual void Move(const Rect& rect, bool repaint) = 0;
  virtual Rect Placement() const = 0;
  virtual void DestroyWindow() = 0;
};

}  // namespace ui
