#include "launcher/CExplorer1.h"

bool CExplorer1::Create(ui::Window& parent, const ui::Rect& rect, int nID, ui::BrowserEvents& events) {
  m_browser = parent.Peer().CreateBrowser(nID, rect, events);
  return m_browser != nullptr;
}

void CExplorer1::Navigate(const std::string& url) {
  if (m_browser) m_browser->Navigate(url);
}

void CExplorer1::Stop() {
  if (m_browser) m_browser->Stop();
}

int CExplorer1::get_ReadyState() const { return m_browser ? m_browser->ReadyState() : 0; }

bool CExplorer1::get_Document() const { return m_browser && m_browser->HasDocument(); }

void CExplorer1::put_Visible(bool visible) {
  if (m_browser) m_browser->SetVisible(visible);
}

void CExplorer1::put_Silent(bool silent) {
  if (m_browser) m_browser->SetSilent(silent);
}

bool CExplorer1::SetUIHandler(ui::DocHostUIHandler* handler) { return m_browser && m_browser->SetUIHandler(handler); }

void CExplorer1::MoveWindow(const ui::Rect& rect, bool repaint) {
  if (m_browser) m_browser->Move(rect, repaint);
}

void CExplorer1::DestroyWindow() {
  if (m_browser) m_browser->DestroyWindow();
}
