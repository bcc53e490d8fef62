#include "platform/gtk/GtkBrowser.h"

#include <cstdio>
#include <string>

#include "platform/gtk/ExternalBridge.h"
#include "platform/gtk/ExternalProtocol.h"

// The host's choices for its pages: window.external's methods, no scroll
// bars, no context menu, or a UI handler that decides them.

namespace ui::gtk {

namespace {

// The host decides: no scroll bars on the page.
constexpr const char* kNoScrollBarsStyle =
    "html, body { overflow: hidden !important; }\n"
    "::-webkit-scrollbar { display: none !important; width: 0 !important; height: 0 !important; }\n";

}  // namespace

std::string JsString(const std::string& text) {
  std::string out = "\"";
  for (std::size_t i = 0; i < text.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '<':
        out += "\\x3c";  // never closes a script element it may be pasted in
        break;
      default:
        if (c < 0x20) {
          char escaped[8];
          std::snprintf(escaped, sizeof escaped, "\\x%02x", c);
          out += escaped;
        } else if (c == 0xE2 && i + 2 < text.size() && static_cast<unsigned char>(text[i + 1]) == 0x80 &&
                   (static_cast<unsigned char>(text[i + 2]) & 0xFE) == 0xA8) {
          // U+2028 and U+2029 end a line inside older engines' string literals.
          out += static_cast<unsigned char>(text[i + 2]) == 0xA8 ? "\\u2028" : "\\u2029";
          i += 2;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  out += '"';
  return out;
}

bool GtkBrowser::InstallHostChoices(const HostChoices& choices) {
  if (!m_holder || !m_hasDocument) return false;
  m_choices = choices;
  m_contextMenu = choices.contextMenu;
  if (m_hostInstalled) {
    webkit_user_content_manager_remove_all_style_sheets(m_content);
  }
  m_hostInstalled = true;
  // window.external is the extension's, in every frame of every document;
  // documents that already built theirs build it again at the next read.
  const unsigned generation = external_bridge::NextGeneration();
  if (m_view && !m_blankDocument) {
    webkit_web_view_send_message_to_page(
        m_view, webkit_user_message_new(external::kChangedMessage, g_variant_new_uint32(generation)), nullptr, nullptr,
        nullptr);
  }
  if (!choices.scrollBars) {
    // The page's own document, from now on and now; frames keep the scroll
    // bars their page gives them.
    WebKitUserStyleSheet* style = webkit_user_style_sheet_new(kNoScrollBarsStyle, WEBKIT_USER_CONTENT_INJECT_TOP_FRAME,
                                                              WEBKIT_USER_STYLE_LEVEL_USER, nullptr, nullptr);
    webkit_user_content_manager_add_style_sheet(m_content, style);
    webkit_user_style_sheet_unref(style);
    const std::string now =
        "(function () { var s = document.createElement('style'); s.textContent = " + JsString(kNoScrollBarsStyle) +
        "; (document.head || document.documentElement).appendChild(s); })();\n";
    // The first blank page has nothing to give it to, and evaluating a
    // script would load the script engine into this process.
    if (m_view && !m_blankDocument) {
      webkit_web_view_evaluate_javascript(m_view, now.c_str(), static_cast<gssize>(now.size()), nullptr, nullptr,
                                          nullptr, nullptr, nullptr);
    }
  }
  return true;
}

bool GtkBrowser::SetUIHandler(DocHostUIHandler* handler) {
  if (!m_holder || !m_hasDocument) return false;
  if (handler) handler->AddRef();
  ReleaseUIHandler();
  m_uiHandler = handler;
  if (!handler) return true;
  // The page's look is asked once, as the document takes its host; the
  // context menu is asked at each right click.
  HostChoices choices;
  DocHostUIInfo info;
  info.cbSize = kDocHostUIInfoSize;
  if (handler->GetHostInfo(&info) == kSOk) {
    choices.border3d = (info.dwFlags & kDocHostUIFlagNo3DBorder) == 0;
    choices.scrollBars = (info.dwFlags & kDocHostUIFlagScrollNo) == 0;
  } else {
    choices.border3d = choices.scrollBars = true;
  }
  // A portable handler cannot hand over a script object: whatever it
  // answers, window.external stays an empty object.
  void* external = nullptr;
  handler->GetExternal(&external);
  return InstallHostChoices(choices);
}

void GtkBrowser::ReleaseUIHandler() {
  DocHostUIHandler* handler = m_uiHandler;
  m_uiHandler = nullptr;
  if (handler) handler->Release();
}

}  // namespace ui::gtk
