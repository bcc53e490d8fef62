#include "platform/gtk/BrowserErrorPage.h"

namespace ui::gtk {

namespace {

std::string HtmlText(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&#39;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

const char* Title(PageFault fault) {
  switch (fault) {
    case PageFault::LoadFailed:
      return "页面无法打开";
    case PageFault::Crashed:
      return "页面意外关闭";
    case PageFault::OutOfMemory:
      return "页面已被停止";
  }
  return "页面无法打开";
}

// The platform's own look: parchment ground, a pale card with a gold edge,
// brick-red button. The card sits in the middle of whatever size the browser
// has (the launcher's panel or a whole screen); the button is 65 pixels below
// the middle.
constexpr const char* kStyle = R"CSS(
html, body { margin: 0; padding: 0; width: 100%; height: 100%; overflow: hidden; background: #f4ecdc; }
body { font: 14px "WenQuanYi Micro Hei", "Noto Sans CJK SC", sans-serif; color: #3b2a1a; }
#card { position: absolute; left: 50%; top: 50%; width: 360px; height: 230px; margin: -115px 0 0 -180px;
  box-sizing: border-box; background: #fffaf0; border: 1px solid #c9a96e; border-radius: 6px;
  box-shadow: 0 2px 10px rgba(80, 50, 20, .18); }
h1 { position: absolute; left: 0; top: 22px; width: 100%; margin: 0; text-align: center;
  font-size: 20px; letter-spacing: 4px; color: #7a2e1d; }
#reason { position: absolute; left: 24px; top: 64px; width: 312px; margin: 0; text-align: center; line-height: 22px; }
#address { position: absolute; left: 24px; top: 118px; width: 312px; margin: 0; text-align: center;
  font-size: 12px; color: #8a7458; white-space: nowrap; overflow: hidden; text-overflow: ellipsis; }
#kqv-retry { position: absolute; left: 100px; top: 160px; width: 160px; height: 40px; border: 0; border-radius: 4px;
  background: #b5452b; color: #fff; font: 16px "WenQuanYi Micro Hei", "Noto Sans CJK SC", sans-serif;
  letter-spacing: 6px; cursor: pointer; }
#kqv-retry:focus { outline: none; }
)CSS";

}  // namespace

const char* ErrorPageReason(PageFault fault) {
  switch (fault) {
    case PageFault::LoadFailed:
      return "无法连接到服务器，请检查网络后重试。";
    case PageFault::Crashed:
      return "页面接连意外关闭，已停止自动重新载入。";
    case PageFault::OutOfMemory:
      return "页面占用内存过多，已被停止。";
  }
  return "";
}

std::string ErrorPageHtml(PageFault fault, const std::string& address) {
  std::string html = "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>";
  html += Title(fault);
  html += "</title>\n<style>";
  html += kStyle;
  html += "</style></head>\n<body>\n<div id=\"card\">\n<h1>";
  html += Title(fault);
  html += "</h1>\n<p id=\"reason\">";
  html += ErrorPageReason(fault);
  html += "</p>\n<p id=\"address\">";
  html += HtmlText(address);
  html += "</p>\n<button id=\"";
  html += kErrorPageRetryId;
  html +=
      "\" type=\"button\" autofocus>重试</button>\n</div>\n<script>\n"
      "document.getElementById('";
  html += kErrorPageRetryId;
  // The host loads the address again, so the retry is a navigation like any
  // other and the page itself needs no address of its own.
  html +=
      "').addEventListener('click', function () {\n"
      "  window.webkit.messageHandlers.";
  html += kErrorPageRetryHandler;
  html +=
      ".postMessage('retry');\n"
      "});\n</script>\n</body></html>\n";
  return html;
}

}  // namespace ui::gtk
