#include "HostHandlerAnswers.h"

#include <gtest/gtest.h>

#include <oleauto.h>

#include <cstdio>
#include <functional>
#include <string>

namespace wine_tests {

ui::HostChoices GameWindowChoices(bool withMethod) {
  ui::HostChoices choices;
  choices.contextMenu = true;
  choices.border3d = false;
  choices.scrollBars = false;
  if (withMethod) choices.external["getAppVersion"] = [](const std::vector<std::string>&) { return "1.0.0.1"; };
  return choices;
}

namespace {

// Out values as text: "null", "left" (not written), "object", "flags=...".
template <typename T>
std::string Out(T* value) {
  if (value == reinterpret_cast<T*>(0x1)) return "left";
  return value ? "object" : "null";
}
template <typename T>
T* Unset() {
  return reinterpret_cast<T*>(0x1);  // never a real pointer: shows what was written
}

struct Answer {
  HRESULT result;
  std::string out;
};

}  // namespace

void ExpectGameWindowAnswers(IDocHostUIHandler* handler, bool withMethod) {
  const struct {
    const char* call;
    std::function<Answer()> make;
    HRESULT result;
    std::string out;
  } cases[] = {
      // clang-format off
      {"ShowContextMenu",
       [&] {
         POINT at{10, 10};
         return Answer{handler->ShowContextMenu(CONTEXT_MENU_DEFAULT, &at, nullptr, nullptr), ""};
       },
       S_FALSE, ""},
      {"GetHostInfo",
       [&] {
         DOCHOSTUIINFO info{};
         info.cbSize = sizeof info;
         info.dwFlags = 0xFFFF0000;
         const HRESULT result = handler->GetHostInfo(&info);
         char flags[32];
         snprintf(flags, sizeof flags, "flags=%08lx", static_cast<unsigned long>(info.dwFlags));
         return Answer{result, flags};
       },
       S_OK, "flags=0000000c"},
      {"ShowUI", [&] { return Answer{handler->ShowUI(DOCHOSTUITYPE_BROWSE, nullptr, nullptr, nullptr, nullptr), ""}; },
       S_FALSE, ""},
      {"HideUI", [&] { return Answer{handler->HideUI(), ""}; }, E_NOTIMPL, ""},
      {"UpdateUI", [&] { return Answer{handler->UpdateUI(), ""}; }, E_NOTIMPL, ""},
      {"EnableModeless", [&] { return Answer{handler->EnableModeless(TRUE), ""}; }, E_NOTIMPL, ""},
      {"OnDocWindowActivate", [&] { return Answer{handler->OnDocWindowActivate(TRUE), ""}; }, E_NOTIMPL, ""},
      {"OnFrameWindowActivate", [&] { return Answer{handler->OnFrameWindowActivate(TRUE), ""}; }, E_NOTIMPL, ""},
      {"ResizeBorder",
       [&] {
         RECT border{0, 0, 100, 100};
         return Answer{handler->ResizeBorder(&border, nullptr, TRUE), ""};
       },
       E_NOTIMPL, ""},
      {"TranslateAccelerator",
       [&] {
         MSG key{};
         key.message = WM_KEYDOWN;
         key.wParam = VK_F5;
         return Answer{handler->TranslateAccelerator(&key, nullptr, 0), ""};
       },
       S_FALSE, ""},
      {"GetOptionKeyPath",
       [&] {
         LPOLESTR key = Unset<OLECHAR>();
         const HRESULT result = handler->GetOptionKeyPath(&key, 0);
         return Answer{result, Out(key)};
       },
       E_NOTIMPL, "null"},
      {"GetDropTarget",
       [&] {
         IDropTarget* target = Unset<IDropTarget>();
         const HRESULT result = handler->GetDropTarget(nullptr, &target);
         return Answer{result, Out(target)};
       },
       E_NOTIMPL, "null"},
      {"GetExternal(null)", [&] { return Answer{handler->GetExternal(nullptr), ""}; }, E_POINTER, ""},
      {"GetExternal",
       [&] {
         IDispatch* external = Unset<IDispatch>();
         const HRESULT result = handler->GetExternal(&external);
         const std::string out = Out(external);
         if (out == "object") external->Release();
         return Answer{result, out};
       },
       withMethod ? S_OK : E_NOTIMPL, withMethod ? "object" : "null"},
      {"TranslateUrl",
       [&] {
         wchar_t url[] = L"http://127.0.0.1/game.html";
         LPWSTR translated = Unset<wchar_t>();
         const HRESULT result = handler->TranslateUrl(0, url, &translated);
         return Answer{result, Out(translated)};
       },
       S_FALSE, "null"},
      {"FilterDataObject",
       [&] {
         IDataObject* filtered = Unset<IDataObject>();
         const HRESULT result = handler->FilterDataObject(nullptr, &filtered);
         return Answer{result, Out(filtered)};
       },
       S_FALSE, "null"},
  };  // clang-format on
  for (const auto& c : cases) {
    const Answer answer = c.make();
    EXPECT_EQ(answer.result, c.result) << c.call;
    EXPECT_EQ(answer.out, c.out) << c.call;
  }
}

}  // namespace wine_tests
