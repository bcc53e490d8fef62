// Loading: every navigation raises BeforeNavigate2 first (redirects too),
// a page's frames load before its own DocumentComplete, and its script runs
// once it is complete.
#include <exdispid.h>

#include <cstdlib>

#include "Browser.h"
#include "BrowserWindows.h"
#include "Text.h"

namespace standin {
namespace {

VARIANT DispatchArg(IDispatch* dispatch) {
  VARIANT value;
  VariantInit(&value);
  V_VT(&value) = VT_DISPATCH;
  V_DISPATCH(&value) = dispatch;
  return value;
}

// A by-reference variant, as the real control passes the URL and the rest.
VARIANT ByRef(VARIANT* target) {
  VARIANT value;
  VariantInit(&value);
  V_VT(&value) = VT_BYREF | VT_VARIANT;
  V_VARIANTREF(&value) = target;
  return value;
}

VARIANT Text(const std::string& text) {
  VARIANT value;
  VariantInit(&value);
  const std::wstring wide = Widen(text);
  V_VT(&value) = VT_BSTR;
  V_BSTR(&value) = SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
  return value;
}

}  // namespace

IDispatch* Browser::Identity(int target) {
  if (target < 0) return static_cast<IWebBrowser2*>(this);
  return static_cast<IWebBrowser2*>(m_frames[static_cast<size_t>(target)]->object);
}

bool Browser::Go(int target, const std::string& url, const std::string& postBody) {
  // BeforeNavigate2(pDisp, URL, Flags, TargetFrameName, PostData, Headers, Cancel)
  VARIANT urlValue = Text(url), flags, frame, postData, headers;
  for (VARIANT* value : {&flags, &frame, &postData, &headers}) VariantInit(value);
  VARIANT_BOOL cancel = VARIANT_FALSE;
  VARIANT cancelArg;
  VariantInit(&cancelArg);
  V_VT(&cancelArg) = VT_BYREF | VT_BOOL;
  V_BOOLREF(&cancelArg) = &cancel;
  IDispatch* identity = Identity(target);
  identity->AddRef();
  m_events.Raise(DISPID_BEFORENAVIGATE2, {DispatchArg(identity), ByRef(&urlValue), ByRef(&flags), ByRef(&frame),
                                          ByRef(&postData), ByRef(&headers), cancelArg});
  identity->Release();
  VariantClear(&urlValue);
  ReportBefore(target, url, cancel != VARIANT_FALSE);
  // A handler may have navigated elsewhere, or the page may have gone with
  // its frames meanwhile.
  if (target >= static_cast<int>(m_frames.size())) return false;
  if (cancel != VARIANT_FALSE) return false;  // nothing is requested
  StartLoad(target, url, postBody);
  return true;
}

void Browser::StartLoad(int target, const std::string& url, const std::string& postBody) {
  auto job = std::make_shared<Job>();
  job->id = m_nextId++;
  job->target = target;
  job->request.url = url;
  if (!postBody.empty()) {
    job->request.method = "POST";
    job->request.body = postBody;
  }
  if (target < 0) {
    // A new page: whatever the old one was still loading stops.
    CancelJobs(false);
    for (auto& frame : m_frames) frame->job = 0;
    m_topWaiting = false;
    m_topJob = job->id;
    m_readyState = READYSTATE_LOADING;
  } else {
    Frame& frame = *m_frames[static_cast<size_t>(target)];
    if (auto old = m_jobs.find(frame.job); old != m_jobs.end()) {
      old->second->fetch.Cancel();
      m_jobs.erase(old);
    }
    frame.job = job->id;
  }
  m_jobs[job->id] = job;
  if (url.compare(0, 6, "about:") == 0) {
    // An empty document of the control's own, completed as a fetched one.
    job->result.ok = true;
    job->result.status = 200;
    PostMessageW(m_courier, kJobDone, job->id, 0);
  } else {
    StartJob(job, m_courier, kJobDone);
  }
}

void Browser::OnJobDone(unsigned id) {
  auto found = m_jobs.find(id);
  if (found == m_jobs.end()) return;  // stopped, or superseded
  std::shared_ptr<Job> job = found->second;
  m_jobs.erase(found);
  AddRef();  // a handler may let go of the control
  if (job->isPoll) {
    OnPollAnswer(*job);
  } else if (job->target < 0 ? id == m_topJob
                             : job->target < static_cast<int>(m_frames.size()) &&
                                   m_frames[static_cast<size_t>(job->target)]->job == id) {
    if (job->target < 0) m_topJob = 0;
    if (job->target >= 0) m_frames[static_cast<size_t>(job->target)]->job = 0;
    if (job->result.IsRedirect()) {
      // Each redirect is a navigation of its own to the host; 307 and 308
      // post again, the others fetch.
      const bool keepsBody = job->result.status == 307 || job->result.status == 308;
      const std::string next = ResolveUrl(job->request.url, job->result.location);
      if (!Go(job->target, next, keepsBody ? job->request.body : std::string())) Settled(job->target);
    } else {
      // Any answer, an error status included, is a document; no answer at
      // all completes empty, as the real control shows its error page.
      Commit(job->target, job->request.url, job);
    }
  }
  Release();
}

void Browser::Settled(int target) {
  if (target < 0) {
    if (m_readyState == READYSTATE_LOADING && !m_topJob) {
      m_readyState = READYSTATE_COMPLETE;  // at rest again, with or without a document
    }
  } else if (m_topWaiting && target == static_cast<int>(m_framesStarted) - 1) {
    NextFrame();
  }
}

void Browser::Commit(int target, const std::string& url, const std::shared_ptr<Job>& job) {
  auto page = std::make_unique<Page>();
  page->id = m_nextId++;
  page->target = target;
  page->url = url;
  if (job->result.ok) page->script = std::move(job->script);
  page->document = new Document(Widen(page->script.title));
  page->reportUrl = Origin(url).empty() ? std::string() : Origin(url) + "/standin/report";
  for (const Instruction& instruction : page->script.instructions) {
    if (instruction.kind == Instruction::Kind::Report) page->reportUrl = ResolveUrl(url, instruction.url);
  }
  const unsigned pageId = page->id;
  VARIANT urlValue = Text(url);

  if (target < 0) {
    DropTop();
    m_top = std::move(page);
    m_readyState = READYSTATE_INTERACTIVE;
    AskHostInfo(*m_top);
    if (m_view) InvalidateRect(m_view, nullptr, TRUE);
    m_events.Raise(DISPID_NAVIGATECOMPLETE2, {DispatchArg(static_cast<IWebBrowser2*>(this)), ByRef(&urlValue)});
    VariantClear(&urlValue);
    if (!m_top || m_top->id != pageId) return;  // navigated elsewhere meanwhile
    Report(m_top.get(), "navigated", {{"frame", "0"}});
    for (const Instruction& instruction : m_top->script.instructions) {
      if (instruction.kind != Instruction::Kind::Frame) continue;
      auto frame = std::make_unique<Frame>();
      frame->object = new FrameObject();
      frame->url = ResolveUrl(url, instruction.url);
      m_frames.push_back(std::move(frame));
    }
    m_topWaiting = true;
    m_framesStarted = 0;
    NextFrame();
    return;
  }

  Frame& frame = *m_frames[static_cast<size_t>(target)];
  if (frame.page) KillTimersOf(frame.page->id);
  frame.page = std::move(page);
  frame.object->Show(frame.page->document, Widen(url));
  FrameObject* object = frame.object;
  object->AddRef();
  AskHostInfo(*frame.page);
  if (m_view) InvalidateRect(m_view, nullptr, TRUE);
  m_events.Raise(DISPID_NAVIGATECOMPLETE2, {DispatchArg(static_cast<IWebBrowser2*>(object)), ByRef(&urlValue)});
  if (Page* now = PageById(pageId)) {
    Report(now, "navigated", {{"frame", "1"}});
    m_events.Raise(DISPID_DOCUMENTCOMPLETE, {DispatchArg(static_cast<IWebBrowser2*>(object)), ByRef(&urlValue)});
  }
  object->Release();
  VariantClear(&urlValue);
  if (Page* now = PageById(pageId)) {
    Report(now, "complete", {{"frame", "1"}, {"title", Narrow(now->document->Title())}});
    RunScript(pageId);
  }
  if (PageById(pageId)) Settled(target);
}

void Browser::NextFrame() {
  while (m_topWaiting) {
    if (m_framesStarted >= m_frames.size()) {
      CompleteTop();
      return;
    }
    const int index = static_cast<int>(m_framesStarted++);
    if (Go(index, m_frames[static_cast<size_t>(index)]->url, {})) return;  // it settles once loaded
  }
}

void Browser::CompleteTop() {
  m_topWaiting = false;
  m_readyState = READYSTATE_COMPLETE;
  const unsigned pageId = m_top->id;
  VARIANT urlValue = Text(m_top->url);
  m_events.Raise(DISPID_DOCUMENTCOMPLETE, {DispatchArg(static_cast<IWebBrowser2*>(this)), ByRef(&urlValue)});
  VariantClear(&urlValue);
  if (!m_top || m_top->id != pageId) return;
  Report(m_top.get(), "complete", {{"frame", "0"}, {"title", Narrow(m_top->document->Title())}});
  RunScript(pageId);
}

Page* Browser::PageById(unsigned id) {
  if (m_top && m_top->id == id) return m_top.get();
  for (auto& frame : m_frames) {
    if (frame->page && frame->page->id == id) return frame->page.get();
  }
  return nullptr;
}

void Browser::RunScript(unsigned pageId) {
  Page* page = PageById(pageId);
  if (!page) return;
  for (const std::string& line : page->script.errors) Report(page, "error", {{"line", line}});
  const std::vector<Instruction>& instructions = page->script.instructions;
  for (size_t i = 0; i < instructions.size(); ++i) {
    const Instruction& instruction = instructions[i];
    switch (instruction.kind) {
      case Instruction::Kind::Read:
      case Instruction::Kind::Call:
        ReadOrCall(*page, instruction, instruction.args);
        break;
      case Instruction::Kind::After:
        StartTimer(*page, instruction, 0);
        break;
      case Instruction::Kind::Poll:
        page->polls.push_back({&instruction});
        StartTimer(*page, instruction, page->polls.size() - 1);
        break;
      case Instruction::Kind::Frame:
        if (page->target >= 0) Report(page, "error", {{"line", "frame " + instruction.url}});
        break;
      default:
        break;
    }
    page = PageById(pageId);  // a host's answer may have ended the page
    if (!page) return;
  }
}

void Browser::StartTimer(Page& page, const Instruction& instruction, size_t poll) {
  const UINT_PTR id = m_nextId++;
  m_timers[id] = {page.id, &instruction, poll};
  SetTimer(m_courier, id, static_cast<UINT>(instruction.milliseconds), nullptr);
}

void Browser::KillTimersOf(unsigned pageId) {
  for (auto it = m_timers.begin(); it != m_timers.end();) {
    if (it->second.page == pageId) {
      KillTimer(m_courier, it->first);
      it = m_timers.erase(it);
    } else {
      ++it;
    }
  }
  for (auto it = m_jobs.begin(); it != m_jobs.end();) {
    if (it->second->isPoll && it->second->page == pageId) {
      it->second->fetch.Cancel();
      it = m_jobs.erase(it);
    } else {
      ++it;
    }
  }
}

void Browser::OnTimer(UINT_PTR id) {
  auto found = m_timers.find(id);
  if (found == m_timers.end()) {
    KillTimer(m_courier, id);
    return;
  }
  const Timer timer = found->second;
  Page* page = PageById(timer.page);
  if (!page) {
    KillTimer(m_courier, id);
    m_timers.erase(found);
    return;
  }
  if (timer.instruction->kind == Instruction::Kind::After) {
    KillTimer(m_courier, id);
    m_timers.erase(found);
    AddRef();
    Go(-1, ResolveUrl(page->url, timer.instruction->url), {});
    Release();
    return;
  }
  Page::Poll& poll = page->polls[timer.poll];
  if (poll.asking) return;  // the last answer is not in yet
  poll.asking = true;
  auto job = std::make_shared<Job>();
  job->id = m_nextId++;
  job->isPoll = true;
  job->page = page->id;
  job->poll = timer.poll;
  job->request.url = ResolveUrl(page->url, timer.instruction->url);
  job->request.throughCache = false;
  m_jobs[job->id] = job;
  StartJob(job, m_courier, kJobDone);
}

void Browser::OnPollAnswer(Job& job) {
  const unsigned pageId = job.page;
  Page* page = PageById(pageId);
  if (!page) return;
  page->polls[job.poll].asking = false;
  if (!job.result.ok || job.result.status != 200) return;
  const unsigned count = static_cast<unsigned>(std::strtoul(job.result.body.c_str(), nullptr, 10));
  // Each message not seen yet, one call each, as the page's own script does.
  while (page && page->polls[job.poll].seen < count) {
    const unsigned k = ++page->polls[job.poll].seen;
    const Instruction& instruction = *page->polls[job.poll].instruction;
    Instruction call = instruction;
    call.kind = Instruction::Kind::Call;
    ReadOrCall(*page, call, {instruction.prefix + std::to_string(k)});
    page = PageById(pageId);
  }
}

STDMETHODIMP Browser::Stop() {
  CancelJobs(false);
  m_topJob = 0;
  for (auto& frame : m_frames) frame->job = 0;
  m_topWaiting = false;
  if (m_readyState == READYSTATE_LOADING || m_readyState == READYSTATE_INTERACTIVE) {
    m_readyState = READYSTATE_COMPLETE;  // at rest again, with or without a document
  }
  return S_OK;
}

void Browser::CancelJobs(bool polls) {
  for (auto it = m_jobs.begin(); it != m_jobs.end();) {
    if (polls || !it->second->isPoll) {
      it->second->fetch.Cancel();
      it = m_jobs.erase(it);
    } else {
      ++it;
    }
  }
}

void Browser::DropTop() {
  for (auto& entry : m_timers) KillTimer(m_courier, entry.first);
  m_timers.clear();
  for (auto it = m_jobs.begin(); it != m_jobs.end();) {
    if (it->second->isPoll) {
      it->second->fetch.Cancel();
      it = m_jobs.erase(it);
    } else {
      ++it;
    }
  }
  m_frames.clear();
  m_top.reset();
  m_topWaiting = false;
}

}  // namespace standin
