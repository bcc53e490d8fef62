#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "ui/Browser.h"

namespace fake {

// Records what the host asks of the browser; tests raise its events.
class FakeBrowser : public ui::Browser {
 public:
  FakeBrowser(int controlId, ui::Rect placement, ui::BrowserEvents& events)
      : controlId(controlId), placement(placement), events(&events) {}
  ~FakeBrowser() override { ReleaseHandler(); }

  void Navigate(const std::string& url) override { navigations.push_back(url); }
  void Stop() override { ++stops; }
  int ReadyState() const override { return readyState; }
  bool HasDocument() const override { return hasDocument; }
  std::string Title() const override { return title; }
  void SetVisible(bool value) override {
    visible = value;
    visibleCalls.push_back(value);
  }
  void SetSilent(bool value) override { silent = value; }
  void SetBackgroundColor(ui::Color color) override { background = color; }
  bool InstallHostChoices(const ui::HostChoices& choices) override {
    if (!hasDocument) return false;
    ++installs;
    hostChoices = choices;
    return true;
  }
  // The document takes the handler only when it is a custom document.
  bool SetUIHandler(ui::DocHostUIHandler* handler) override {
    if (!hasDocument || !customDocument) return false;
    if (handler) handler->AddRef();
    ReleaseHandler();
    uiHandler = handler;
    ++handlerInstalls;
    return true;
  }
  void Move(const ui::Rect& rect, bool) override { placement = rect; }
  ui::Rect Placement() const override { return placement; }
  // The document goes with the window and lets go of its handler.
  void DestroyWindow() override {
    destroyed = true;
    ReleaseHandler();
  }

  // Events as the engine would raise them; answers the cancel flag.
  bool RaiseBeforeNavigate2(const std::string& url) {
    bool cancel = false;
    events->OnBeforeNavigate2(url, cancel);
    return cancel;
  }
  void RaiseNavigateComplete2(const std::string& url, bool topLevel = true) {
    events->OnNavigateComplete2(url, topLevel);
  }
  void RaiseDocumentComplete(const std::string& url) { events->OnDocumentComplete(url); }

  int controlId;
  ui::Rect placement;
  ui::BrowserEvents* events;
  std::vector<std::string> navigations;
  std::vector<bool> visibleCalls;
  int stops = 0;
  int readyState = 4;
  std::string title;  // of the current document
  std::optional<ui::Color> background;
  bool hasDocument = true;
  bool visible = false;
  bool silent = false;
  bool destroyed = false;
  int installs = 0;
  ui::HostChoices hostChoices;
  bool customDocument = true;
  ui::DocHostUIHandler* uiHandler = nullptr;
  int handlerInstalls = 0;
  // What the last release of the document's reference answered.
  std::uint32_t lastHandlerRelease = 0;

 private:
  void ReleaseHandler() {
    if (uiHandler) lastHandlerRelease = uiHandler->Release();
    uiHandler = nullptr;
  }
};

}  // namespace fake
