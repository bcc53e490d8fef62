// A portable document host handler behind the browser's IDocHostUIHandler:
// identity, lifetime, and every call handed on with its arguments converted.
#include <gtest/gtest.h>

#include <windows.h>
#include <mshtmhst.h>

#include <cstdio>
#include <string>
#include <vector>

#include "platform/win32/DocHostUIAdapter.h"
#include "platform/win32/Text.h"

using ui::win32::CreateDocHostUIAdapter;

namespace {

constexpr IID kIidDocHostUIHandler = {0xBD3F23C0, 0xD43E, 0x11CF, {0x89, 0x3B, 0x00, 0xAA, 0x00, 0xBD, 0xCE, 0x1A}};
constexpr IID kIidDocHostUIHandler2 = {0x3050F6D0, 0x98B5, 0x11CF, {0xBB, 0x82, 0x00, 0xAA, 0x00, 0xBD, 0xCE, 0x0B}};

// Distinct addresses standing for interface pointers the adapter only passes on.
int g_sentinels[4];
void* const kA = &g_sentinels[0];
void* const kB = &g_sentinels[1];
void* const kC = &g_sentinels[2];
void* const kD = &g_sentinels[3];
void* const kGarbage = reinterpret_cast<void*>(static_cast<uintptr_t>(0xDEADBEEF));

std::string Tag(const void* pointer) {
  if (!pointer) return "null";
  for (int i = 0; i < 4; ++i) {
    if (pointer == &g_sentinels[i]) return std::string(1, static_cast<char>('A' + i));
  }
  return "?";
}

std::string Format(const ui::Guid& guid) {
  char text[48];
  std::snprintf(text, sizeof text, "%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X", guid.data1, guid.data2,
                guid.data3, guid.data4[0], guid.data4[1], guid.data4[2], guid.data4[3], guid.data4[4], guid.data4[5],
                guid.data4[6], guid.data4[7]);
  return text;
}

// What a handler went through, readable after it is gone.
struct Log {
  long references = 1;
  int deletions = 0;
  std::vector<std::string> calls;
};

// Answers every call with `answer`, writes `give` into the out pointers it
// gets, and writes each call with its arguments into the log.
class RecordingHandler : public ui::DocHostUIHandler {
 public:
  RecordingHandler(Log& log, std::vector<ui::Guid> claims) : m_log(log), m_claims(std::move(claims)) {}

  ui::HResult answer = ui::kSOk;
  void* give = nullptr;
  std::uint32_t hostFlags = 0;
  std::uint32_t hostDoubleClick = 0;

  ui::HResult QueryInterface(const ui::Guid& riid, void** ppv) override {
    for (const ui::Guid& claim : m_claims) {
      if (claim == riid) {
        *ppv = this;
        AddRef();
        return ui::kSOk;
      }
    }
    *ppv = nullptr;
    return ui::kENoInterface;
  }
  std::uint32_t AddRef() override { return static_cast<std::uint32_t>(++m_log.references); }
  std::uint32_t Release() override {
    const long left = --m_log.references;
    if (left == 0) delete this;
    return static_cast<std::uint32_t>(left);
  }

  ui::HResult ShowContextMenu(std::uint32_t id, const ui::Point* at, void* target, void* element) override {
    Record("ShowContextMenu " + std::to_string(id) + " " + (at ? Pair(at->x, at->y) : "null") + " " + Tag(target) +
           " " + Tag(element));
    return answer;
  }
  ui::HResult GetHostInfo(ui::DocHostUIInfo* info) override {
    if (!info) {
      Record("GetHostInfo null");
      return answer;
    }
    Record("GetHostInfo " + std::to_string(info->dwFlags) + " " + std::to_string(info->dwDoubleClick));
    info->cbSize = ui::kDocHostUIInfoSize;
    info->dwFlags = hostFlags;
    info->dwDoubleClick = hostDoubleClick;
    return answer;
  }
  ui::HResult ShowUI(std::uint32_t id, void* active, void* target, void* frame, void* document) override {
    Record("ShowUI " + std::to_string(id) + " " + Tag(active) + " " + Tag(target) + " " + Tag(frame) + " " +
           Tag(document));
    return answer;
  }
  ui::HResult HideUI() override { return Record("HideUI"); }
  ui::HResult UpdateUI() override { return Record("UpdateUI"); }
  ui::HResult EnableModeless(bool enable) override { return Record("EnableModeless " + Bool(enable)); }
  ui::HResult OnDocWindowActivate(bool activate) override { return Record("OnDocWindowActivate " + Bool(activate)); }
  ui::HResult OnFrameWindowActivate(bool activate) override {
    return Record("OnFrameWindowActivate " + Bool(activate));
  }
  ui::HResult ResizeBorder(const ui::Rect* border, void* window, bool frameWindow) override {
    const std::string rect =
        border ? Pair(border->left, border->top) + "-" + Pair(border->right, border->bottom) : "null";
    return Record("ResizeBorder " + rect + " " + Tag(window) + " " + Bool(frameWindow));
  }
  ui::HResult TranslateAccelerator(const ui::Message* message, const ui::Guid* group, std::uint32_t id) override {
    std::string text = "TranslateAccelerator ";
    if (message) {
      const auto* native = static_cast<const MSG*>(message->native);
      text += (message->kind == ui::Message::Kind::KeyDown ? "KeyDown " : "Other ") + std::to_string(message->key) +
              (native ? " msg" + std::to_string(native->message) : " nomsg");
    } else {
      text += "null";
    }
    return Record(text + " " + (group ? Format(*group) : "null") + " " + std::to_string(id));
  }
  ui::HResult GetOptionKeyPath(char16_t** key, std::uint32_t reserved) override {
    return Record("GetOptionKeyPath " + Out(reinterpret_cast<void**>(key)) + " " + std::to_string(reserved));
  }
  ui::HResult GetDropTarget(void* offered, void** replacement) override {
    return Record("GetDropTarget " + Tag(offered) + " " + Out(replacement));
  }
  ui::HResult GetExternal(void** dispatch) override { return Record("GetExternal " + Out(dispatch)); }
  ui::HResult TranslateUrl(std::uint32_t translate, const char16_t* url, char16_t** out) override {
    const std::string in =
        url ? ui::win32::Narrow(std::wstring_view(reinterpret_cast<const wchar_t*>(url))) : std::string("null");
    return Record("TranslateUrl " + std::to_string(translate) + " " + in + " " + Out(reinterpret_cast<void**>(out)));
  }
  ui::HResult FilterDataObject(void* offered, void** replacement) override {
    return Record("FilterDataObject " + Tag(offered) + " " + Out(replacement));
  }

 private:
  ~RecordingHandler() override { ++m_log.deletions; }

  ui::HResult Record(const std::string& call) {
    m_log.calls.push_back(call);
    return answer;
  }
  static std::string Pair(int a, int b) { return std::to_string(a) + "," + std::to_string(b); }
  static std::string Bool(bool value) { return value ? "true" : "false"; }
  // An out pointer: whether there is one and whether it came cleared.
  std::string Out(void** out) {
    if (!out) return "noout";
    const std::string text = *out ? "out(set)" : "out";
    *out = give;
    return text;
  }

  Log& m_log;
  std::vector<ui::Guid> m_claims;
};

const std::vector<ui::Guid> kBothInterfaces = {ui::kIidUnknown, ui::kIidDocHostUIHandler};

TEST(DocHostUIAdapter, GuidsConvertFieldByField) {
  EXPECT_EQ(ui::win32::ToGuid(IID_IUnknown), ui::kIidUnknown);
  EXPECT_EQ(ui::win32::ToGuid(kIidDocHostUIHandler), ui::kIidDocHostUIHandler);
  EXPECT_EQ(ui::win32::ToGuid(kIidDocHostUIHandler2), ui::kIidDocHostUIHandler2);
  EXPECT_EQ(Format(ui::win32::ToGuid(IID_IDispatch)), "00020400-0000-0000-C000-000000000046");
}

TEST(DocHostUIAdapter, AnswersForItsTwoInterfacesOnlyWhenTheHandlerClaimsThem) {
  const struct {
    const char* name;
    IID iid;
    std::vector<ui::Guid> claims;
    bool found;
  } cases[] = {
      {"IUnknown", IID_IUnknown, kBothInterfaces, true},
      {"IDocHostUIHandler", kIidDocHostUIHandler, kBothInterfaces, true},
      {"IDocHostUIHandler2 not claimed", kIidDocHostUIHandler2, kBothInterfaces, false},
      // The adapter has no such interface to give, whatever the handler says.
      {"IDocHostUIHandler2 claimed",
       kIidDocHostUIHandler2,
       {ui::kIidUnknown, ui::kIidDocHostUIHandler, ui::kIidDocHostUIHandler2},
       false},
      {"IDispatch", IID_IDispatch, kBothInterfaces, false},
      {"IOleCommandTarget", IID_IOleCommandTarget, kBothInterfaces, false},
      {"IDocHostUIHandler refused by the handler", kIidDocHostUIHandler, {ui::kIidUnknown}, false},
      {"IUnknown refused by the handler", IID_IUnknown, {ui::kIidDocHostUIHandler}, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Log log;
    auto* handler = new RecordingHandler(log, c.claims);
    IDocHostUIHandler* adapter = CreateDocHostUIAdapter(handler);
    ASSERT_NE(adapter, nullptr);
    EXPECT_EQ(log.references, 2);
    void* object = kGarbage;
    EXPECT_EQ(adapter->QueryInterface(c.iid, &object), c.found ? S_OK : E_NOINTERFACE);
    EXPECT_EQ(object, c.found ? static_cast<void*>(adapter) : nullptr);
    // A found interface adds a reference to the adapter, never to the handler.
    EXPECT_EQ(adapter->AddRef(), c.found ? 3u : 2u);
    adapter->Release();
    EXPECT_EQ(log.references, 2);
    if (object) static_cast<IUnknown*>(object)->Release();
    EXPECT_EQ(adapter->Release(), 0u);
    EXPECT_EQ(log.references, 1);
    EXPECT_EQ(handler->Release(), 0u);
    EXPECT_EQ(log.deletions, 1);
  }
}

TEST(DocHostUIAdapter, NullOutPointerOfQueryInterface) {
  Log log;
  auto* handler = new RecordingHandler(log, kBothInterfaces);
  IDocHostUIHandler* adapter = CreateDocHostUIAdapter(handler);
  handler->Release();
  EXPECT_EQ(adapter->QueryInterface(IID_IUnknown, nullptr), E_POINTER);
  EXPECT_EQ(log.references, 1);
  adapter->Release();
  EXPECT_EQ(log.deletions, 1);
}

TEST(DocHostUIAdapter, NoAdapterForNoHandler) { EXPECT_EQ(CreateDocHostUIAdapter(nullptr), nullptr); }

TEST(DocHostUIAdapter, HandlerLivesUntilTheAdaptersLastReferenceAndIsDeletedOnce) {
  Log log;
  auto* handler = new RecordingHandler(log, kBothInterfaces);
  IDocHostUIHandler* adapter = CreateDocHostUIAdapter(handler);
  EXPECT_EQ(handler->Release(), 1u);  // the creator lets go; the adapter's reference is left
  IUnknown* asUnknown = nullptr;
  IDocHostUIHandler* asHandler = nullptr;
  ASSERT_EQ(adapter->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&asUnknown)), S_OK);
  ASSERT_EQ(adapter->QueryInterface(kIidDocHostUIHandler, reinterpret_cast<void**>(&asHandler)), S_OK);
  EXPECT_EQ(asUnknown, static_cast<IUnknown*>(adapter));
  EXPECT_EQ(asHandler, adapter);
  EXPECT_EQ(adapter->Release(), 2u);
  EXPECT_EQ(asUnknown->Release(), 1u);
  EXPECT_EQ(log.references, 1);
  EXPECT_EQ(log.deletions, 0);
  // The document's last use after everybody else has gone still reaches the handler.
  EXPECT_EQ(asHandler->HideUI(), S_OK);
  EXPECT_EQ(asHandler->Release(), 0u);
  EXPECT_EQ(log.references, 0);
  EXPECT_EQ(log.deletions, 1);
  EXPECT_EQ(log.calls, std::vector<std::string>{"HideUI"});
}

TEST(DocHostUIAdapter, GetHostInfoHandsBackTheChoicesAndKeepsTheRecordsSize) {
  static_assert(sizeof(DOCHOSTUIINFO) != ui::kDocHostUIInfoSize, "this build's record is larger");
  const struct {
    std::uint32_t flags;
    std::uint32_t doubleClick;
    ui::HResult answer;
  } cases[] = {
      {ui::kDocHostUIFlagNo3DBorder | ui::kDocHostUIFlagScrollNo, ui::kDocHostUIDblClkDefault, ui::kSOk},
      {ui::kDocHostUIFlagNo3DBorder, 2, ui::kSOk},
      {0, 1, ui::kENotImpl},
  };
  for (const auto& c : cases) {
    Log log;
    auto* handler = new RecordingHandler(log, kBothInterfaces);
    handler->hostFlags = c.flags;
    handler->hostDoubleClick = c.doubleClick;
    handler->answer = c.answer;
    IDocHostUIHandler* adapter = CreateDocHostUIAdapter(handler);
    handler->Release();
    OLECHAR css[] = L"body{}";
    DOCHOSTUIINFO info{};
    info.cbSize = sizeof info;
    info.dwFlags = 0x10000;
    info.dwDoubleClick = 7;
    info.pchHostCss = css;
    EXPECT_EQ(adapter->GetHostInfo(&info), c.answer);
    EXPECT_EQ(info.cbSize, sizeof info);
    EXPECT_EQ(info.dwFlags, c.flags);
    EXPECT_EQ(info.dwDoubleClick, c.doubleClick);
    EXPECT_EQ(info.pchHostCss, css);
    EXPECT_EQ(info.pchHostNS, nullptr);
    EXPECT_EQ(adapter->GetHostInfo(nullptr), c.answer);
    // The handler saw what the browser had filled in.
    EXPECT_EQ(log.calls, (std::vector<std::string>{"GetHostInfo 65536 7", "GetHostInfo null"}));
    adapter->Release();
    EXPECT_EQ(log.deletions, 1);
  }
}

TEST(DocHostUIAdapter, EveryCallReachesTheHandlerConvertedAndItsAnswerComesBack) {
  void* out = nullptr;

  const struct {
    std::string expected;
    HRESULT (*call)(IDocHostUIHandler*, void*);
  } calls[] = {
      {"ShowContextMenu 7 3,-4 A B",
       [](IDocHostUIHandler* h, void*) {
         POINT p{3, -4};
         return h->ShowContextMenu(7, &p, static_cast<IUnknown*>(kA), static_cast<IDispatch*>(kB));
       }},
      {"ShowContextMenu 0 null null null",
       [](IDocHostUIHandler* h, void*) { return h->ShowContextMenu(0, nullptr, nullptr, nullptr); }},
      {"ShowUI 2 A B C D",
       [](IDocHostUIHandler* h, void*) {
         return h->ShowUI(2, static_cast<IOleInPlaceActiveObject*>(kA), static_cast<IOleCommandTarget*>(kB),
                          static_cast<IOleInPlaceFrame*>(kC), static_cast<IOleInPlaceUIWindow*>(kD));
       }},
      {"HideUI", [](IDocHostUIHandler* h, void*) { return h->HideUI(); }},
      {"UpdateUI", [](IDocHostUIHandler* h, void*) { return h->UpdateUI(); }},
      {"EnableModeless false", [](IDocHostUIHandler* h, void*) { return h->EnableModeless(FALSE); }},
      // Any non-zero BOOL is true.
      {"EnableModeless true", [](IDocHostUIHandler* h, void*) { return h->EnableModeless(2); }},
      {"OnDocWindowActivate true", [](IDocHostUIHandler* h, void*) { return h->OnDocWindowActivate(TRUE); }},
      {"OnDocWindowActivate false", [](IDocHostUIHandler* h, void*) { return h->OnDocWindowActivate(FALSE); }},
      {"OnFrameWindowActivate true", [](IDocHostUIHandler* h, void*) { return h->OnFrameWindowActivate(-1); }},
      {"OnFrameWindowActivate false", [](IDocHostUIHandler* h, void*) { return h->OnFrameWindowActivate(FALSE); }},
      {"ResizeBorder 1,2-30,40 A true",
       [](IDocHostUIHandler* h, void*) {
         RECT r{1, 2, 30, 40};
         return h->ResizeBorder(&r, static_cast<IOleInPlaceUIWindow*>(kA), TRUE);
       }},
      {"ResizeBorder null null false",
       [](IDocHostUIHandler* h, void*) { return h->ResizeBorder(nullptr, nullptr, FALSE); }},
      {"TranslateAccelerator KeyDown 27 msg256 3050F6D0-98B5-11CF-BB82-00AA00BDCE0B 5",
       [](IDocHostUIHandler* h, void*) {
         MSG m{};
         m.message = WM_KEYDOWN;
         m.wParam = VK_ESCAPE;
         return h->TranslateAccelerator(&m, &kIidDocHostUIHandler2, 5);
       }},
      {"TranslateAccelerator Other 0 msg258 null 0",
       [](IDocHostUIHandler* h, void*) {
         MSG m{};
         m.message = WM_CHAR;
         m.wParam = 'a';
         return h->TranslateAccelerator(&m, nullptr, 0);
       }},
      {"TranslateAccelerator Other 0 msg257 null 9",
       [](IDocHostUIHandler* h, void*) {
         MSG m{};
         m.message = WM_KEYUP;
         m.wParam = VK_RETURN;
         return h->TranslateAccelerator(&m, nullptr, 9);
       }},
      {"TranslateAccelerator null null 0",
       [](IDocHostUIHandler* h, void*) { return h->TranslateAccelerator(nullptr, nullptr, 0); }},
      {"GetOptionKeyPath out 3",
       [](IDocHostUIHandler* h, void* o) { return h->GetOptionKeyPath(static_cast<LPOLESTR*>(o), 3); }},
      {"GetDropTarget A out",
       [](IDocHostUIHandler* h, void* o) {
         return h->GetDropTarget(static_cast<IDropTarget*>(kA), static_cast<IDropTarget**>(o));
       }},
      {"GetExternal out", [](IDocHostUIHandler* h, void* o) { return h->GetExternal(static_cast<IDispatch**>(o)); }},
      {"GetExternal noout", [](IDocHostUIHandler* h, void*) { return h->GetExternal(nullptr); }},
      {"TranslateUrl 1 http://127.0.0.1/默认.html out",
       [](IDocHostUIHandler* h, void* o) {
         OLECHAR u[] = L"http://127.0.0.1/默认.html";
         return h->TranslateUrl(1, u, static_cast<LPWSTR*>(o));
       }},
      {"FilterDataObject B out",
       [](IDocHostUIHandler* h, void* o) {
         return h->FilterDataObject(static_cast<IDataObject*>(kB), static_cast<IDataObject**>(o));
       }},
  };
  // Two different answers, so that a fixed answer of the adapter shows.
  for (const ui::HResult answer : {ui::kSOk, ui::kSFalse, ui::kENotImpl}) {
    for (const auto& c : calls) {
      SCOPED_TRACE(c.expected);
      Log log;
      auto* handler = new RecordingHandler(log, kBothInterfaces);
      handler->answer = answer;
      IDocHostUIHandler* adapter = CreateDocHostUIAdapter(handler);
      handler->Release();
      out = kGarbage;  // out pointers reach the handler cleared
      EXPECT_EQ(c.call(adapter, &out), answer);
      EXPECT_EQ(log.calls, std::vector<std::string>{c.expected});
      adapter->Release();
      EXPECT_EQ(log.deletions, 1);
    }
  }
}

TEST(DocHostUIAdapter, OutPointersCarryTheHandlersObjectExceptTheScriptObject) {
  const struct {
    const char* name;
    HRESULT (*call)(IDocHostUIHandler*, void**);
    bool passed;
  } cases[] = {
      {"GetOptionKeyPath",
       [](IDocHostUIHandler* h, void** o) { return h->GetOptionKeyPath(reinterpret_cast<LPOLESTR*>(o), 0); }, true},
      {"GetDropTarget",
       [](IDocHostUIHandler* h, void** o) { return h->GetDropTarget(nullptr, reinterpret_cast<IDropTarget**>(o)); },
       true},
      {"TranslateUrl",
       [](IDocHostUIHandler* h, void** o) {
         OLECHAR u[] = L"http://x/";
         return h->TranslateUrl(0, u, reinterpret_cast<LPWSTR*>(o));
       },
       true},
      {"FilterDataObject",
       [](IDocHostUIHandler* h, void** o) { return h->FilterDataObject(nullptr, reinterpret_cast<IDataObject**>(o)); },
       true},
      // A portable handler has no script object; window.external stays empty.
      {"GetExternal", [](IDocHostUIHandler* h, void** o) { return h->GetExternal(reinterpret_cast<IDispatch**>(o)); },
       false},
  };
  for (const auto& c : cases) {
    for (void* given : {static_cast<void*>(nullptr), kC}) {
      SCOPED_TRACE(std::string(c.name) + (given ? " given" : " nothing"));
      Log log;
      auto* handler = new RecordingHandler(log, kBothInterfaces);
      handler->give = given;
      IDocHostUIHandler* adapter = CreateDocHostUIAdapter(handler);
      handler->Release();
      void* out = kGarbage;
      EXPECT_EQ(c.call(adapter, &out), S_OK);
      EXPECT_EQ(out, c.passed ? given : nullptr);
      adapter->Release();
    }
  }
}

}  // namespace
