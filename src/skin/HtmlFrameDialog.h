#pragma once

#include <map>
#include <memory>
#include <string>

#include "skin/SkinnedFrame.h"
#include "ui/Browser.h"

// What the game and chat windows share as browser dialogs: a browser filling
// the client area, the host choices of such dialogs (the browser's own menu,
// no border, no scroll bars, the window's methods as window.external for a
// page from any address), a title that follows the page, and Return and
// Escape going to the page.
class HtmlFrameDialog : public SkinnedFrame, protected ui::BrowserEvents {
 public:
  HtmlFrameDialog(int templateId, const FrameVariant& variant) : SkinnedFrame(templateId, variant) {}

  bool PreTranslateMessage(const ui::Message& message) override;

  ui::Browser* Browser() const { return m_browser.get(); }

 protected:
  // Creates the silent browser (control 102) and offers it the host choices;
  // the window and the browser show the frame's body colour until a page
  // paints.
  void CreateBrowser();
  // The methods pages reach as window.external.<name>.
  virtual std::map<std::string, ui::ExternalMethod> ExternalMethods() = 0;

  void OnSizeClient(ui::SizeType type, int cx, int cy) override;
  // The window text becomes the title of each page the browser completes.
  void OnNavigateComplete2(const std::string& url, bool topLevel) override;

 private:
  void InstallHostChoices();

  std::unique_ptr<ui::Browser> m_browser;
  bool m_hostChoicesInstalled = false;
};
