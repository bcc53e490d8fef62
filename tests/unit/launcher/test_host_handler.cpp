#include <gtest/gtest.h>

#include "launcher/CDocHostUIHandlerImpl.h"

namespace {

// Counts its deletions, so that a double delete or a leak shows.
class CountedHandler : public CDocHostUIHandlerImpl {
 public:
  explicit CountedHandler(int& deletions) : m_deletions(deletions) {}
  ~CountedHandler() override { ++m_deletions; }

 private:
  int& m_deletions;
};

TEST(HostHandlerTest, CountsReferencesAndDeletesItselfExactlyOnce) {
  int deletions = 0;
  auto* handler = new CountedHandler(deletions);
  void* object = reinterpret_cast<void*>(1);
  EXPECT_EQ(handler->QueryInterface(ui::kIidDocHostUIHandler, &object), ui::kSOk);
  EXPECT_EQ(object, static_cast<ui::DocHostUIHandler*>(handler));
  EXPECT_EQ(handler->QueryInterface(ui::kIidUnknown, &object), ui::kSOk);
  EXPECT_EQ(handler->AddRef(), 4u);
  EXPECT_EQ(handler->Release(), 3u);
  EXPECT_EQ(handler->Release(), 2u);
  EXPECT_EQ(handler->Release(), 1u);
  EXPECT_EQ(deletions, 0);
  EXPECT_EQ(handler->Release(), 0u);
  EXPECT_EQ(deletions, 1);
}

TEST(HostHandlerTest, RefusesEveryOtherInterfaceWithANullPointer) {
  int deletions = 0;
  auto* handler = new CountedHandler(deletions);
  const ui::Guid dispatch{0x00020400, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
  for (const ui::Guid& other : {ui::kIidDocHostUIHandler2, dispatch}) {
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(handler->QueryInterface(other, &object), ui::kENoInterface);
    EXPECT_EQ(object, nullptr);
  }
  EXPECT_EQ(handler->QueryInterface(ui::kIidUnknown, nullptr), ui::kEPointer);
  EXPECT_EQ(handler->Release(), 0u) << "refusals add no reference";
  EXPECT_EQ(deletions, 1);
}

TEST(HostHandlerTest, NoMenuNoBorderNoScrollBarsAndNoExternalObject) {
  int deletions = 0;
  auto* handler = new CountedHandler(deletions);
  EXPECT_EQ(handler->ShowContextMenu(ui::kContextMenuDefault, nullptr, nullptr, nullptr), ui::kSOk);

  char16_t css[] = u"keep";
  ui::DocHostUIInfo info{999, 0xFFFF0000u, 7, css, css};
  EXPECT_EQ(handler->GetHostInfo(&info), ui::kSOk);
  EXPECT_EQ(info.cbSize, 20u);
  EXPECT_EQ(info.dwFlags, 0x0000000Cu);
  EXPECT_EQ(info.dwDoubleClick, 0u);
  EXPECT_EQ(info.pchHostCss, css);
  EXPECT_EQ(info.pchHostNS, css);

  void* external = reinterpret_cast<void*>(1);
  EXPECT_EQ(handler->GetExternal(&external), ui::kSOk);
  EXPECT_EQ(external, nullptr);

  EXPECT_EQ(handler->ShowUI(0, nullptr, nullptr, nullptr, nullptr), ui::kENotImpl);
  EXPECT_EQ(handler->TranslateAccelerator(nullptr, nullptr, 0), ui::kENotImpl);
  EXPECT_EQ(handler->TranslateUrl(0, u"http://x/", nullptr), ui::kENotImpl);
  EXPECT_EQ(handler->FilterDataObject(nullptr, nullptr), ui::kENotImpl);
  EXPECT_EQ(handler->GetDropTarget(nullptr, nullptr), ui::kENotImpl);
  handler->Release();
  EXPECT_EQ(deletions, 1);
}

TEST(HostHandlerTest, NullOutPointersAreAnsweredNotWrittenThrough) {
  int deletions = 0;
  auto* handler = new CountedHandler(deletions);
  EXPECT_EQ(handler->QueryInterface(ui::kIidDocHostUIHandler, nullptr), ui::kEPointer);
  EXPECT_EQ(handler->GetHostInfo(nullptr), ui::kEPointer);
  EXPECT_EQ(handler->GetExternal(nullptr), ui::kSOk);
  EXPECT_EQ(handler->Release(), 0u) << "no reference was added";
  EXPECT_EQ(deletions, 1);
}

}  // namespace
