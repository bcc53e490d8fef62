#include "platform/gtk/GtkBrowser.h"

#include <memory>
#include <string>
#include <vector>

// The browser's end of window.external: ExternalBridge hands it the calls of
// its pages' scripts.

namespace ui::gtk {

void GtkBrowser::PageScriptsAsk(const std::string& title) {
  if (!m_navigated) return;
  m_parsedTitle = title;
  RaiseNavigated();
}

bool GtkBrowser::ServesPage(guint64 page) const { return m_view && webkit_web_view_get_page_id(m_view) == page; }

std::vector<std::string> GtkBrowser::ExternalNames() const {
  std::vector<std::string> names;
  for (const auto& [name, method] : m_choices.external) {
    if (method) names.push_back(name);
  }
  return names;
}

std::string GtkBrowser::CallExternal(const std::string& name, const std::vector<std::string>& args) {
  auto found = m_choices.external.find(name);
  if (found == m_choices.external.end() || !found->second) return {};
  const ExternalMethod method = found->second;  // the method may replace the choices
  const std::shared_ptr<bool> alive = m_alive;
  std::string answer = method(args);
  // A browser that went meanwhile has no page left to answer.
  if (!*alive || !m_view) return {};
  return answer;
}

}  // namespace ui::gtk
