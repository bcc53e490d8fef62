#pragma once

#include <memory>
#include <string>

#include "ui/Browser.h"
#include "ui/Window.h"

// The launcher's web browser control: created as a child of its window and
// driven through the control's own operations. Every operation does nothing
// before the control exists.
class CExplorer1 {
 public:
  bool Create(ui::Window& parent, const ui::Rect& rect, int nID, ui::BrowserEvents& events);
  ui::Browser* Get() const { return m_browser.get(); }

  void Navigate(const std::string& url);
  void Stop();
  int get_ReadyState() const;
  // Whether there is a current document.
  bool get_Document() const;
  void put_Visible(bool visible);
  void put_Silent(bool silent);
  // Hands the current document its host handler; false without a document
  // that takes one.
  bool SetUIHandler(ui::DocHostUIHandler* handler);
  void MoveWindow(const ui::Rect& rect, bool repaint = true);
  void DestroyWindow();

 private:
  std::unique_ptr<ui::Browser> m_browser;
};
