// What a page's script does with the host and the player: reports, the
// host handler's answers, clicks and the context menu, and what the view
// shows.
#include "Browser.h"
#include "External.h"
#include "Ids.h"
#include "Text.h"

namespace standin {

void Browser::Report(const Page* page, const std::string& event, ReportValues values) {
  if (!page) return;
  m_reporter.Send(page->reportUrl, event, page->url, std::move(values));
}

void Browser::ReportBefore(int target, const std::string& url, bool cancel) {
  // The page being left reports; a first page, its own origin.
  const Page* page = target < 0                                   ? m_top.get()
                     : target < static_cast<int>(m_frames.size()) ? m_frames[static_cast<size_t>(target)]->page.get()
                                                                  : nullptr;
  if (!page) page = m_top.get();
  const std::string address =
      page ? page->reportUrl : (Origin(url).empty() ? std::string() : Origin(url) + "/standin/report");
  m_reporter.Send(address, "before", page ? page->url : url,
                  {{"target", url}, {"frame", target < 0 ? "0" : "1"}, {"cancel", cancel ? "1" : "0"}});
}

IDocHostUIHandler* Browser::HostHandler(const Page* page) {
  IDocHostUIHandler* handler = page && page->document ? page->document->Handler() : nullptr;
  if (handler) {
    handler->AddRef();
    return handler;
  }
  if (m_site && SUCCEEDED(m_site->QueryInterface(kIidDocHostUIHandler, reinterpret_cast<void**>(&handler)))) {
    return handler;
  }
  return nullptr;
}

void Browser::AskHostInfo(Page& page) {
  IDocHostUIHandler* handler = HostHandler(&page);
  if (!handler) return;
  DOCHOSTUIINFO info{};
  info.cbSize = sizeof info;
  const HRESULT result = handler->GetHostInfo(&info);
  handler->Release();
  Report(&page, "hostinfo", {{"flags", std::to_string(info.dwFlags)}, {"hr", HexResult(result)}});
}

void Browser::ReadOrCall(Page& page, const Instruction& instruction, const std::vector<std::string>& args) {
  // The host's method may end the page, or the control: what the report
  // needs is kept first.
  const std::string name = instruction.text, url = page.url, reportUrl = page.reportUrl;
  const bool read = instruction.kind == Instruction::Kind::Read;
  ReportValues values = {{"name", name}};
  if (!read) {
    std::string joined;
    for (size_t i = 0; i < args.size(); ++i) {
      if (i) joined += '|';
      joined += args[i];
    }
    values.push_back({"args", joined});
  }
  AddRef();
  IDocHostUIHandler* handler = HostHandler(&page);
  const ExternalAnswer answer = read ? ReadExternal(handler, name) : CallExternal(handler, name, args);
  if (handler) handler->Release();
  values.push_back({"hr", HexResult(answer.result)});
  if (read) values.push_back({"vt", std::to_string(answer.type)});
  if (!read && answer.hasText) values.push_back({"answer", answer.text});
  m_reporter.Send(reportUrl, read ? "read" : "call", url, std::move(values));
  Release();
}

Page* Browser::PageAt(int x, int y, const Instruction** hit) {
  *hit = nullptr;
  // Frames cover the whole view, the last one on top.
  std::vector<Page*> pages;
  for (auto it = m_frames.rbegin(); it != m_frames.rend(); ++it) {
    if ((*it)->page) pages.push_back((*it)->page.get());
  }
  if (m_top) pages.push_back(m_top.get());
  for (Page* page : pages) {
    for (const Instruction& instruction : page->script.instructions) {
      if ((instruction.kind == Instruction::Kind::Link || instruction.kind == Instruction::Kind::Submit) &&
          instruction.area.Contains(x, y)) {
        *hit = &instruction;
        return page;
      }
    }
  }
  return pages.empty() ? nullptr : pages.front();
}

void Browser::OnClick(int x, int y) {
  const Instruction* hit = nullptr;
  Page* page = PageAt(x, y, &hit);
  if (!page || !hit) return;
  const std::string target = ResolveUrl(page->url, hit->url);
  std::string body;
  if (hit->kind == Instruction::Kind::Submit) {
    std::vector<std::pair<std::string, std::string>> fields;
    for (const std::string& field : hit->args) {
      const size_t equals = field.find('=');
      fields.push_back({field.substr(0, equals), field.substr(equals + 1)});
    }
    body = FormEncode(fields);
  }
  AddRef();
  Go(page->target, target, body);
  Release();
}

void Browser::OnContextMenu(POINT screen) {
  POINT local = screen;
  if (m_view) ScreenToClient(m_view, &local);
  const Instruction* hit = nullptr;
  Page* page = PageAt(local.x, local.y, &hit);
  if (!page) return;
  IDocHostUIHandler* handler = HostHandler(page);
  const HRESULT result = handler ? handler->ShowContextMenu(CONTEXT_MENU_DEFAULT, &screen, nullptr, nullptr) : S_FALSE;
  if (handler) handler->Release();
  const bool shown = result != S_OK;
  Report(page, "contextmenu", {{"hr", HexResult(result)}, {"shown", shown ? "1" : "0"}});
  if (!shown || !m_view) return;
  // The control's own menu; its entries only close it.
  HMENU menu = CreatePopupMenu();
  AppendMenuW(menu, MF_STRING, 1, L"\x540e\x9000");  // back
  AppendMenuW(menu, MF_STRING, 2, L"\x5237\x65b0");  // reload
  AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
  AppendMenuW(menu, MF_STRING, 3, L"\x5c5e\x6027");  // properties
  TrackPopupMenu(menu, TPM_RIGHTBUTTON | TPM_RETURNCMD | TPM_NONOTIFY, screen.x, screen.y, 0, m_view, nullptr);
  DestroyMenu(menu);
}

void Browser::Paint(HWND window) {
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(window, &paint);
  SetBkMode(dc, TRANSPARENT);
  std::vector<const Page*> pages;
  if (m_top) pages.push_back(m_top.get());
  for (auto& frame : m_frames) {
    if (frame->page) pages.push_back(frame->page.get());
  }
  RECT area;
  GetClientRect(window, &area);
  int line = 0;
  for (const Page* page : pages) {
    RECT text = area;
    text.top += line * 18;
    DrawTextW(dc, page->document->Title().c_str(), -1, &text, DT_LEFT | DT_TOP | DT_NOPREFIX | DT_SINGLELINE);
    ++line;
    // Where the page's links and buttons lie, each framed and named.
    for (const Instruction& instruction : page->script.instructions) {
      if (instruction.kind != Instruction::Kind::Link && instruction.kind != Instruction::Kind::Submit) continue;
      RECT box = {instruction.area.x, instruction.area.y, instruction.area.x + instruction.area.width,
                  instruction.area.y + instruction.area.height};
      FrameRect(dc, &box, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
      const std::wstring name = Widen(instruction.url);
      DrawTextW(dc, name.c_str(), -1, &box, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX | DT_END_ELLIPSIS);
    }
  }
  EndPaint(window, &paint);
}

}  // namespace standin
