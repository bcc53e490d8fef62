// Dialog templates lose their ActiveX controls, and nothing else.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "platform/win32/DialogTemplate.h"
#include "ui/Platform.h"

namespace {

struct Item {
  std::u16string className;  // empty: the button ordinal 0x0080
  std::u16string title;
  std::vector<std::uint8_t> data;  // creation data
};

// Writes dialog templates the way the resource compiler lays them out.
class Builder {
 public:
  Builder(bool extended, bool font, std::u16string title = u"标题 title")
      : m_extended(extended), m_font(font), m_title(std::move(title)) {}
  // Bytes of the last template before its final padding.
  size_t Unpadded() const { return m_unpadded; }

  std::vector<std::uint8_t> Build(const std::vector<Item>& items) {
    m_bytes.clear();
    const std::uint32_t style = WS_POPUP | WS_SYSMENU | (m_font ? DS_SETFONT : 0);
    if (m_extended) {
      Word(1), Word(0xFFFF), Dword(7), Dword(WS_EX_APPWINDOW), Dword(style);
    } else {
      Dword(style), Dword(WS_EX_APPWINDOW);
    }
    Word(static_cast<std::uint16_t>(items.size()));
    Word(0), Word(0), Word(319), Word(200);
    Word(0);  // no menu
    Word(0);  // the dialog class
    Text(m_title);
    if (m_font) {
      Word(9);
      if (m_extended) Word(400), m_bytes.push_back(0), m_bytes.push_back(1);
      Text(u"MS Shell Dlg");
    }
    for (const Item& item : items) {
      Align();
      if (m_extended) {
        Dword(0), Dword(0), Dword(WS_CHILD | WS_VISIBLE), Word(1), Word(2), Word(30), Word(40), Dword(1001);
      } else {
        Dword(WS_CHILD | WS_VISIBLE), Dword(0), Word(1), Word(2), Word(30), Word(40), Word(1001);
      }
      if (item.className.empty()) {
        Word(0xFFFF), Word(0x0080);
      } else {
        Text(item.className);
      }
      Text(item.title);
      Word(static_cast<std::uint16_t>(item.data.size()));
      m_bytes.insert(m_bytes.end(), item.data.begin(), item.data.end());
    }
    m_unpadded = m_bytes.size();
    Align();
    return m_bytes;
  }

 private:
  void Word(std::uint16_t value) {
    m_bytes.push_back(static_cast<std::uint8_t>(value));
    m_bytes.push_back(static_cast<std::uint8_t>(value >> 8));
  }
  void Dword(std::uint32_t value) {
    Word(static_cast<std::uint16_t>(value)), Word(static_cast<std::uint16_t>(value >> 16));
  }
  void Text(const std::u16string& text) {
    for (char16_t c : text) Word(c);
    Word(0);
  }
  void Align() {
    while (m_bytes.size() % 4) m_bytes.push_back(0);
  }

  bool m_extended;
  bool m_font;
  std::u16string m_title;
  size_t m_unpadded = 0;
  std::vector<std::uint8_t> m_bytes;
};

std::vector<std::uint8_t> Bytes(const ui::win32::DialogTemplate& dialog) {
  const auto* data = reinterpret_cast<const std::uint8_t*>(dialog.data());
  return {data, data + dialog.size() * 4};
}

const Item kButton{u"Button", u"确定", {}};
const Item kOrdinalButton{u"", u"ok", {}};
const Item kStatic{u"Static", u"", {}};
const Item kBrowser{u"{8856F961-340A-11D0-A96B-00C04FD705A2}", u"", {}};
const Item kBrowserWithData{u"{8856F961-340A-11D0-A96B-00C04FD705A2}", u"", {1, 2, 3}};
const Item kEditWithData{u"Edit", u"text", {9, 8, 7, 6, 5, 4}};

TEST(WithoutActiveXControls, DropsExactlyTheActiveXItems) {
  const struct {
    const char* name;
    std::vector<Item> items;
    std::vector<Item> kept;
  } cases[] = {
      {"none", {}, {}},
      {"only ordinary controls", {kButton, kStatic, kOrdinalButton}, {kButton, kStatic, kOrdinalButton}},
      {"browser between controls", {kButton, kBrowser, kStatic}, {kButton, kStatic}},
      {"only a browser", {kBrowser}, {}},
      {"creation data around it", {kEditWithData, kBrowserWithData, kEditWithData}, {kEditWithData, kEditWithData}},
      {"browser first and last", {kBrowser, kOrdinalButton, kBrowserWithData}, {kOrdinalButton}},
  };
  for (bool extended : {false, true}) {
    for (bool font : {false, true}) {
      Builder builder(extended, font);
      for (const auto& c : cases) {
        const auto input = builder.Build(c.items);
        auto output = ui::win32::WithoutActiveXControls(input.data(), input.size());
        ASSERT_TRUE(output) << c.name;
        EXPECT_EQ(Bytes(*output), builder.Build(c.kept))
            << c.name << (extended ? ", extended" : ", classic") << (font ? ", with font" : "");
      }
    }
  }
}

TEST(WithoutActiveXControls, PaddingPastTheResourcesEndIsZeros) {
  // A resource may end right after its last string, short of the DWORD
  // boundary; the copy must not take what follows it in memory.
  Builder builder(true, true, u"对话框");
  const auto whole = builder.Build({});
  const size_t size = builder.Unpadded();
  ASSERT_EQ(size % 4, 2u) << "the face name ends off the boundary";
  std::vector<std::uint8_t> memory(whole.begin(), whole.end());
  memory[size] = 0xAB, memory[size + 1] = 0xCD;  // what lies beyond the resource
  auto output = ui::win32::WithoutActiveXControls(memory.data(), size);
  ASSERT_TRUE(output);
  EXPECT_EQ(Bytes(*output), whole);
}

TEST(WithoutActiveXControls, RefusesBytesThatEndTooEarly) {
  Builder builder(true, true);
  const auto whole = builder.Build({kButton, kEditWithData});
  for (size_t cut : {size_t{0}, size_t{3}, size_t{20}, whole.size() / 2, whole.size() - 8}) {
    EXPECT_FALSE(ui::win32::WithoutActiveXControls(whole.data(), cut)) << cut << " of " << whole.size();
  }
  EXPECT_FALSE(ui::win32::WithoutActiveXControls(nullptr, 16));
}

TEST(WithoutActiveXControls, KeepsTheClientsTemplatesWhole) {
  for (int id : {102, 105, 130, 134}) {
    auto resource = ui::GetPlatform().FindResource(ui::ResourceType::Dialog, id);
    ASSERT_TRUE(resource) << id;
    auto output = ui::win32::WithoutActiveXControls(resource->data(), resource->size());
    ASSERT_TRUE(output) << id;
    auto padded = *resource;
    padded.resize((padded.size() + 3) / 4 * 4, 0);
    EXPECT_EQ(Bytes(*output), padded) << id;
  }
}

}  // namespace
