#include "FakePlatform.h"

#include <algorithm>
#include <string>

namespace fake {
namespace {

// A picture that only knows its size.
class FakePicture : public ui::Picture {
 public:
  FakePicture(int width, int height) : m_width(width), m_height(height) {}
  int Width() const override { return m_width; }
  int Height() const override { return m_height; }
  bool Ok() const override { return m_width > 0; }

 private:
  int m_width, m_height;
};

const std::string kPngTag = "fake-png:";

}  // namespace

FakePlatform::FakePlatform() : m_previous(ui::CurrentPlatform()) {
  ui::SetPlatform(this);
  // The executable always carries its artwork; the skinned windows' bitmaps
  // are also cached for the whole run, whichever test loads them first.
  AddSkinArt();
}

// A fake made inside a test gives the test's own back when it goes.
FakePlatform::~FakePlatform() { ui::SetPlatform(m_previous); }

std::unique_ptr<ui::WindowPeer> FakePlatform::CreateWindowPeer(ui::Window& window) {
  auto peer = std::make_unique<FakeWindowPeer>(*this, window);
  peers.push_back(peer.get());
  return peer;
}

void FakePlatform::PostQuit(int) { quitPosted = true; }

void FakePlatform::AddPng(int id, ui::PixelImage image) { m_pngs[id] = std::move(image); }

std::optional<std::vector<std::uint8_t>> FakePlatform::FindResource(ui::ResourceType type, int id) const {
  if (type != ui::ResourceType::Png || !m_pngs.count(id)) return std::nullopt;
  const std::string tag = kPngTag + std::to_string(id);
  return std::vector<std::uint8_t>(tag.begin(), tag.end());
}

std::optional<ui::PixelImage> FakePlatform::DecodePng(const std::vector<std::uint8_t>& bytes) const {
  const std::string text(bytes.begin(), bytes.end());
  if (text.rfind(kPngTag, 0) != 0) return std::nullopt;
  auto it = m_pngs.find(std::stoi(text.substr(kPngTag.size())));
  if (it == m_pngs.end()) return std::nullopt;
  return it->second;
}

namespace {

class FakeVersionData : public ui::VersionData {
 public:
  explicit FakeVersionData(std::map<std::string, std::vector<std::uint8_t>> values) : m_values(std::move(values)) {}
  std::optional<std::vector<std::uint8_t>> Query(const std::string& subBlock) const override {
    auto it = m_values.find(subBlock);
    if (it == m_values.end()) return std::nullopt;
    return it->second;
  }

 private:
  std::map<std::string, std::vector<std::uint8_t>> m_values;
};

}  // namespace

std::unique_ptr<ui::VersionData> FakePlatform::ReadVersionData(const std::string& path) const {
  versionReads.push_back(path);
  auto it = versionData.find(path);
  if (it == versionData.end()) return nullptr;
  return std::make_unique<FakeVersionData>(it->second);
}

void FakePlatform::AddSkinArt() {
  for (const int id : {161, 162, 163}) bitmaps[id] = {60, 20};
  bitmaps[165] = {123, 20};
  const auto blank = [](int width, int height) {
    return ui::PixelImage{.width = width, .height = height, .bitsPerPixel = 32, .pitch = width * 4, .pixels = {}};
  };
  AddPng(164, blank(594, 229));
  AddPng(166, blank(194, 215));
  AddPng(167, blank(18, 18));
}

std::unique_ptr<ui::Picture> FakePlatform::LoadPicture(ui::ResourceType type, int id) {
  pictureLoads.emplace_back(type, id);
  if (type == ui::ResourceType::Png) {
    auto it = m_pngs.find(id);
    if (it != m_pngs.end()) return std::make_unique<FakePicture>(it->second.width, it->second.height);
  }
  if (type == ui::ResourceType::Bitmap) {
    auto it = bitmaps.find(id);
    if (it != bitmaps.end()) return std::make_unique<FakePicture>(it->second.cx, it->second.cy);
  }
  return std::make_unique<FakePicture>(0, 0);
}

bool FakePlatform::StartProcess(const std::string& path, const std::string& arguments) {
  processes.emplace_back(path, arguments);
  return processStartSucceeds;
}

bool FakePlatform::AppendToExistingFile(const std::string& path, const std::string& bytes) {
  auto it = files.find(path);
  if (it == files.end()) return false;
  it->second += bytes;
  return true;
}

std::string FakePlatform::HttpGet(const std::string& url, bool readBody, const std::string& userAgent) {
  httpRequests.push_back(url);
  if (!onHttpGet) return {};
  std::string body = onHttpGet(url, readBody, userAgent);
  if (!readBody) return {};
  // What every backend answers: the body without its CR and LF bytes.
  std::erase_if(body, [](char c) { return c == '\r' || c == '\n'; });
  return body;
}

std::vector<FakeWindowPeer*> FakePlatform::Windows(int templateId) const {
  std::vector<FakeWindowPeer*> found;
  std::copy_if(peers.begin(), peers.end(), std::back_inserter(found),
               [&](FakeWindowPeer* peer) { return peer->templateId == templateId; });
  return found;
}

}  // namespace fake
