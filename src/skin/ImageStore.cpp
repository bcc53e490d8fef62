#include "skin/ImageStore.h"

#include "ui/Platform.h"

ImageStore& ImageStore::Instance() {
  // Never destroyed: windows may still draw while the process exits.
  static ImageStore* store = new ImageStore;
  return *store;
}

ui::Picture* ImageStore::GetImage(int number) {
  const std::string key = std::to_string(number);
  if (auto it = m_images.find(key); it != m_images.end()) return it->second.get();
  auto& platform = ui::GetPlatform();
  if (IsPngNumber(number)) {
    m_decoded.push_back(platform.LoadPicture(ui::ResourceType::Png, number));
    return m_decoded.back().get();
  }
  auto& stored = m_images[key];
  stored = platform.LoadPicture(ui::ResourceType::Bitmap, number);
  return stored.get();
}
