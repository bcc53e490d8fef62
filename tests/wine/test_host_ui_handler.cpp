// The document host handler the browser gets: its choices for the page and
// window.external, called the way the browser's script engine calls them.
#include <gtest/gtest.h>

#include <windows.h>
#include <mshtmhst.h>
#include <oleauto.h>

#include <memory>
#include <string>
#include <vector>

#include "HostHandlerAnswers.h"
#include "platform/win32/HostUIHandler.h"
#include "platform/win32/Text.h"

using ui::win32::CreateHostUIHandler;
using namespace std::string_literals;

namespace {

constexpr IID kIidDocHostUIHandler = {0xBD3F23C0, 0xD43E, 0x11CF, {0x89, 0x3B, 0x00, 0xAA, 0x00, 0xBD, 0xCE, 0x1A}};
constexpr IID kIidDocHostUIHandler2 = {0x3050F6D0, 0x98B5, 0x11CF, {0xBB, 0x82, 0x00, 0xAA, 0x00, 0xBD, 0xCE, 0x0B}};

TEST(HostUIHandler, AnswersOnlyForItsOwnInterfaces) {
  IDocHostUIHandler* handler = CreateHostUIHandler({});
  const struct {
    const char* name;
    IID iid;
    bool found;
  } cases[] = {
      {"IUnknown", IID_IUnknown, true},
      {"IDocHostUIHandler", kIidDocHostUIHandler, true},
      {"IDocHostUIHandler2", kIidDocHostUIHandler2, false},
      {"IDispatch", IID_IDispatch, false},
  };
  for (const auto& c : cases) {
    void* object = reinterpret_cast<void*>(1);
    const HRESULT result = handler->QueryInterface(c.iid, &object);
    EXPECT_EQ(result, c.found ? S_OK : E_NOINTERFACE) << c.name;
    EXPECT_EQ(object, c.found ? static_cast<void*>(handler) : nullptr) << c.name;
    if (object) static_cast<IUnknown*>(object)->Release();
  }
  EXPECT_EQ(handler->Release(), 0u);
}

TEST(HostUIHandler, ContextMenuBorderAndScrollBarsAsChosen) {
  const struct {
    bool contextMenu, border3d, scrollBars;
    HRESULT menuAnswer;  // S_OK: the host showed its menu, which is none
    DWORD flags;
  } cases[] = {
      {false, false, false, S_OK, DOCHOSTUIFLAG_NO3DBORDER | DOCHOSTUIFLAG_SCROLL_NO},
      {true, false, false, S_FALSE, DOCHOSTUIFLAG_NO3DBORDER | DOCHOSTUIFLAG_SCROLL_NO},
      {true, true, true, S_FALSE, 0},
      {false, true, false, S_OK, DOCHOSTUIFLAG_SCROLL_NO},
  };
  for (const auto& c : cases) {
    ui::HostChoices choices;
    choices.contextMenu = c.contextMenu;
    choices.border3d = c.border3d;
    choices.scrollBars = c.scrollBars;
    IDocHostUIHandler* handler = CreateHostUIHandler(choices);
    POINT at{10, 10};
    EXPECT_EQ(handler->ShowContextMenu(0, &at, nullptr, nullptr), c.menuAnswer);
    DOCHOSTUIINFO info{};
    info.cbSize = sizeof info;
    info.dwFlags = 0xFFFF0000;
    EXPECT_EQ(handler->GetHostInfo(&info), S_OK);
    EXPECT_EQ(info.dwFlags, c.flags);
    EXPECT_EQ(info.dwDoubleClick, static_cast<DWORD>(DOCHOSTUIDBLCLK_DEFAULT));
    handler->Release();
  }
}

TEST(HostUIHandler, NoExternalObjectWithoutMethods) {
  IDocHostUIHandler* handler = CreateHostUIHandler({});
  IDispatch* external = reinterpret_cast<IDispatch*>(1);
  EXPECT_EQ(handler->GetExternal(&external), E_NOTIMPL);
  EXPECT_EQ(external, nullptr);
  handler->Release();
}

// The game and chat windows' documents: every call, with and without script
// methods. Each GetExternal adds a reference the caller gives back, so the
// handler goes with its own last one.
TEST(HostUIHandler, GameWindowChoicesAnswerEveryCall) {
  for (bool withMethod : {true, false}) {
    SCOPED_TRACE(withMethod ? "with a method" : "without methods");
    IDocHostUIHandler* handler = CreateHostUIHandler(wine_tests::GameWindowChoices(withMethod));
    wine_tests::ExpectGameWindowAnswers(handler, withMethod);
    EXPECT_EQ(handler->Release(), 0u);
  }
}

// Calls a method of window.external as a script does: name to id, then the
// call with the arguments last-first.
HRESULT CallExternal(IDispatch* external, const std::wstring& name, std::vector<VARIANT> args, std::string& answer) {
  DISPID id = 0;
  LPOLESTR names[] = {const_cast<LPOLESTR>(name.c_str())};
  const HRESULT found = external->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
  if (FAILED(found)) return found;
  std::vector<VARIANT> reversed(args.rbegin(), args.rend());
  DISPPARAMS params{reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
  VARIANT result;
  VariantInit(&result);
  const HRESULT called =
      external->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, &result, nullptr, nullptr);
  answer = ui::win32::VariantText(&result);
  VariantClear(&result);
  return called;
}

VARIANT Text(const wchar_t* text) {
  VARIANT value;
  VariantInit(&value);
  V_VT(&value) = VT_BSTR;
  V_BSTR(&value) = SysAllocString(text);
  return value;
}

VARIANT Number(int number) {
  VARIANT value;
  VariantInit(&value);
  V_VT(&value) = VT_I4;
  V_I4(&value) = number;
  return value;
}

TEST(HostUIHandler, ExternalMethodsGetTheScriptsArgumentsAndAnswerText) {
  auto token = std::make_shared<int>(0);
  std::vector<std::vector<std::string>> calls;
  ui::HostChoices choices;
  choices.external["getGsName"] = [token, &calls](const std::vector<std::string>& args) {
    calls.push_back(args);
    return std::string("专员 ") + (args.empty() ? "" : args.front());
  };
  choices.external["getAppVersion"] = [token](const std::vector<std::string>&) { return std::string("1.0.0.1"); };
  IDocHostUIHandler* handler = CreateHostUIHandler(choices);
  choices.external.clear();  // only the handler's copies keep the token now
  IDispatch* external = nullptr;
  ASSERT_EQ(handler->GetExternal(&external), S_OK);
  ASSERT_NE(external, nullptr);

  const struct {
    std::wstring name;
    std::vector<VARIANT> args;
    HRESULT result;
    std::string answer;
    std::vector<std::string> received;
  } cases[] = {
      {L"getGsName", {Text(L"小明"), Text(L"second")}, S_OK, "专员 小明", {"小明", "second"}},
      {L"getGsName", {Number(42)}, S_OK, "专员 42", {"42"}},
      {L"getGsName", {}, S_OK, "专员 ", {}},
      {L"getAppVersion", {}, S_OK, "1.0.0.1", {}},
      // Automation names are found whatever their case.
      {L"getappversion", {}, S_OK, "1.0.0.1", {}},
      {L"GETGSNAME", {Text(L"x")}, S_OK, "专员 x", {"x"}},
      {L"getAppVersio", {}, DISP_E_UNKNOWNNAME, "", {}},
      {L"close", {}, DISP_E_UNKNOWNNAME, "", {}},
      {L"", {}, DISP_E_UNKNOWNNAME, "", {}},
  };
  for (const auto& c : cases) {
    calls.clear();
    std::string answer;
    EXPECT_EQ(CallExternal(external, c.name, c.args, answer), c.result) << ui::win32::Narrow(c.name);
    EXPECT_EQ(answer, c.answer) << ui::win32::Narrow(c.name);
    if (!c.received.empty()) {
      ASSERT_EQ(calls.size(), 1u);
      EXPECT_EQ(calls.front(), c.received);
    }
    for (VARIANT arg : c.args) VariantClear(&arg);
  }

  // The page keeps window.external after the handler has gone; the methods
  // go with the last reference.
  EXPECT_EQ(handler->Release(), 0u);
  EXPECT_GT(token.use_count(), 1);
  EXPECT_EQ(external->Release(), 0u);
  EXPECT_EQ(token.use_count(), 1);
}

// The system's own automation object with one method: type information
// from CreateDispTypeInfo, the dispatch from CreateStdDispatch. What it
// answers for each kind of call is what window.external must answer.
class SystemMethodObject {
 public:
  virtual int STDMETHODCALLTYPE Run() { return ++runs; }  // slot 0 of the type information
  int runs = 0;
};

IDispatch* SystemDispatch(SystemMethodObject& object) {
  static METHODDATA method = {const_cast<OLECHAR*>(L"getNewMsg"), nullptr, 1, 0, CC_STDCALL, 0, DISPATCH_METHOD, VT_I4};
  static INTERFACEDATA data = {&method, 1};
  ITypeInfo* info = nullptr;
  if (FAILED(CreateDispTypeInfo(&data, LOCALE_SYSTEM_DEFAULT, &info))) return nullptr;
  // Wine answers with a class around the interface; the dispatch wants the
  // interface's own.
  TYPEATTR* attributes = nullptr;
  if (SUCCEEDED(info->GetTypeAttr(&attributes))) {
    const bool isClass = attributes->typekind == TKIND_COCLASS;
    info->ReleaseTypeAttr(attributes);
    HREFTYPE reference = 0;
    ITypeInfo* interfaceInfo = nullptr;
    if (isClass && SUCCEEDED(info->GetRefTypeOfImplType(0, &reference)) &&
        SUCCEEDED(info->GetRefTypeInfo(reference, &interfaceInfo))) {
      info->Release();
      info = interfaceInfo;
    }
  }
  IUnknown* unknown = nullptr;
  const HRESULT made = CreateStdDispatch(nullptr, &object, info, &unknown);
  info->Release();
  if (FAILED(made)) return nullptr;
  IDispatch* dispatch = nullptr;
  unknown->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch));
  unknown->Release();
  return dispatch;
}

// A script that reads a method as a property (`if (window.external.getNewMsg)`)
// asks with DISPATCH_PROPERTYGET alone; only a call as a method runs it. Every
// kind of call gets the system's automation answer for a method.
TEST(HostUIHandler, ExternalMethodsRunOnlyWhenCalledAsMethods) {
  int runs = 0;
  ui::HostChoices choices;
  choices.external["getNewMsg"] = [&runs](const std::vector<std::string>&) {
    ++runs;
    return std::string("lit");
  };
  IDocHostUIHandler* handler = CreateHostUIHandler(choices);
  IDispatch* external = nullptr;
  ASSERT_EQ(handler->GetExternal(&external), S_OK);
  SystemMethodObject object;
  IDispatch* system = SystemDispatch(object);
  ASSERT_NE(system, nullptr);

  const struct {
    const char* what;
    WORD flags;
    bool runs;
  } cases[] = {
      {"a call", DISPATCH_METHOD, true},
      {"a call from an engine that cannot tell it from a read", DISPATCH_METHOD | DISPATCH_PROPERTYGET, true},
      {"a property read", DISPATCH_PROPERTYGET, false},
      {"an assignment", DISPATCH_PROPERTYPUT, false},
      {"an assignment by reference", DISPATCH_PROPERTYPUTREF, false},
      {"no kind at all", 0, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    // A put carries its value as a named argument.
    VARIANT value = Text(L"x");
    DISPID named = DISPID_PROPERTYPUT;
    const bool put = c.flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF);
    DISPPARAMS params{put ? &value : nullptr, put ? &named : nullptr, put ? 1u : 0u, put ? 1u : 0u};

    DISPID id = 0, systemId = 0;
    LPOLESTR names[] = {const_cast<LPOLESTR>(L"getNewMsg")};
    ASSERT_EQ(external->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id), S_OK);
    ASSERT_EQ(system->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &systemId), S_OK);
    VARIANT ours, theirs;
    VariantInit(&ours);
    VariantInit(&theirs);
    const int before = runs, systemBefore = object.runs;
    const HRESULT answer =
        external->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, c.flags, &params, &ours, nullptr, nullptr);
    const HRESULT systemAnswer =
        system->Invoke(systemId, IID_NULL, LOCALE_USER_DEFAULT, c.flags, &params, &theirs, nullptr, nullptr);

    EXPECT_EQ(object.runs - systemBefore, c.runs ? 1 : 0) << "the system's own object";
    EXPECT_EQ(runs - before, c.runs ? 1 : 0);
    EXPECT_EQ(answer, c.runs ? S_OK : DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(answer, systemAnswer);
    if (c.runs) {
      EXPECT_EQ(ui::win32::VariantText(&ours), "lit");
    } else {
      EXPECT_EQ(V_VT(&ours), VT_EMPTY);
      EXPECT_EQ(V_VT(&theirs), VT_EMPTY);
    }
    VariantClear(&ours);
    VariantClear(&theirs);
    VariantClear(&value);
  }
  system->Release();
  external->Release();
  EXPECT_EQ(handler->Release(), 0u);
}

// Script strings are UTF-16 and may hold lone surrogates; the host gets
// UTF-8 with U+FFFD in their place and the rest of the text kept, and the
// script gets back what the host answers.
TEST(HostUIHandler, ScriptTextWithLoneSurrogatesKeepsTheRest) {
  std::vector<std::string> received;
  ui::HostChoices choices;
  choices.external["getGsName"] = [&received](const std::vector<std::string>& args) {
    received = args;
    return args.empty() ? std::string() : args.front();
  };
  IDocHostUIHandler* handler = CreateHostUIHandler(choices);
  IDispatch* external = nullptr;
  ASSERT_EQ(handler->GetExternal(&external), S_OK);
  const std::string fffd = "\xEF\xBF\xBD";
  const struct {
    const char* what;
    std::wstring text;
    std::string utf8;
  } cases[] = {
      {"a lone high surrogate inside", L"甲\xD800乙", "甲" + fffd + "乙"},
      {"a lone low surrogate alone", L"\xDC00", fffd},
      {"a high surrogate at the end", L"名\xD83D", "名" + fffd},
      {"two high surrogates then a pair", L"\xD800\xD83D\xDE00!", fffd + "\xF0\x9F\x98\x80!"},
      {"a reversed pair", L"\xDE00\xD83Dx", fffd + fffd + "x"},
      {"a pair",
       L"a\xD83D\xDE00"
       L"b",
       "a\xF0\x9F\x98\x80"
       "b"},
      {"a zero inside", L"a\0b"s, "a\0b"s},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(ui::win32::Narrow(c.text), c.utf8);
    VARIANT arg;
    VariantInit(&arg);
    V_VT(&arg) = VT_BSTR;
    V_BSTR(&arg) = SysAllocStringLen(c.text.data(), static_cast<UINT>(c.text.size()));
    std::string answer;
    received.clear();
    EXPECT_EQ(CallExternal(external, L"getGsName", {arg}, answer), S_OK);
    EXPECT_EQ(received, std::vector<std::string>{c.utf8});
    EXPECT_EQ(answer, c.utf8);
    VariantClear(&arg);
  }
  external->Release();
  EXPECT_EQ(handler->Release(), 0u);
}

// Each call gives the script a string of its own, in UTF-16, the length
// counted without a terminator; the engine frees each one.
TEST(HostUIHandler, EveryCallAnswersWithANewString) {
  ui::HostChoices choices;
  choices.external["getAppVersion"] = [](const std::vector<std::string>&) { return std::string("1.0.0.1"); };
  choices.external["getGsName"] = [](const std::vector<std::string>&) { return "专员\0甲"s; };
  IDocHostUIHandler* handler = CreateHostUIHandler(choices);
  IDispatch* external = nullptr;
  ASSERT_EQ(handler->GetExternal(&external), S_OK);
  const struct {
    std::wstring name;
    std::wstring text;
  } cases[] = {
      {L"getAppVersion", L"1.0.0.1"},
      // A zero inside is kept.
      {L"getGsName", L"专员\0甲"s},
  };
  for (const auto& c : cases) {
    DISPID id = 0;
    LPOLESTR names[] = {const_cast<LPOLESTR>(c.name.c_str())};
    ASSERT_EQ(external->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id), S_OK);
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    VARIANT first, second;
    VariantInit(&first);
    VariantInit(&second);
    EXPECT_EQ(external->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &none, &first, nullptr, nullptr),
              S_OK);
    EXPECT_EQ(external->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &none, &second, nullptr, nullptr),
              S_OK);
    ASSERT_EQ(V_VT(&first), VT_BSTR);
    ASSERT_EQ(V_VT(&second), VT_BSTR);
    EXPECT_NE(V_BSTR(&first), V_BSTR(&second));
    for (const VARIANT* value : {&first, &second}) {
      EXPECT_EQ(std::wstring(V_BSTR(value), SysStringLen(V_BSTR(value))), c.text);
      EXPECT_EQ(SysStringByteLen(V_BSTR(value)), c.text.size() * sizeof(wchar_t));
    }
    VariantClear(&first);
    VariantClear(&second);
  }
  DISPPARAMS none{nullptr, nullptr, 0, 0};
  VARIANT unknown;
  VariantInit(&unknown);
  EXPECT_EQ(external->Invoke(100, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &none, &unknown, nullptr, nullptr),
            DISP_E_MEMBERNOTFOUND);
  EXPECT_EQ(V_VT(&unknown), VT_EMPTY);
  external->Release();
  EXPECT_EQ(handler->Release(), 0u);
}

}  // namespace
