#include "platform/win32/Win32Platform.h"

#include "platform/win32/WinApi.h"

#include <string>
#include <vector>

#include "platform/win32/Text.h"

// The executable's resources, pictures decoded with GDI+, and version data.
namespace ui::win32 {
namespace {

const wchar_t* NativeType(ResourceType type) {
  switch (type) {
    case ResourceType::Png:
      return L"PNG";
    case ResourceType::Bitmap:
      return RT_BITMAP;
    case ResourceType::Icon:
      return RT_GROUP_ICON;
    case ResourceType::Dialog:
      return RT_DIALOG;
    case ResourceType::Version:
      return RT_VERSION;
  }
  return nullptr;
}

class Win32VersionData : public VersionData {
 public:
  explicit Win32VersionData(std::vector<std::uint8_t> block) : m_block(std::move(block)) {}
  std::optional<std::vector<std::uint8_t>> Query(const std::string& subBlock) const override {
    void* value = nullptr;
    UINT length = 0;
    const std::wstring path = Widen(subBlock);
    if (!VerQueryValueW(m_block.data(), path.c_str(), &value, &length) || !value) return std::nullopt;
    if (subBlock.rfind("\\StringFileInfo\\", 0) != 0) {
      const auto* bytes = static_cast<const std::uint8_t*>(value);
      return std::vector<std::uint8_t>(bytes, bytes + length);
    }
    // Text values are counted in characters, the terminating zero included.
    std::wstring_view text(static_cast<const wchar_t*>(value), length);
    while (!text.empty() && text.back() == L'\0') text.remove_suffix(1);
    const std::string utf8 = Narrow(text);
    return std::vector<std::uint8_t>(utf8.begin(), utf8.end());
  }

 private:
  std::vector<std::uint8_t> m_block;
};

}  // namespace

std::optional<std::vector<std::uint8_t>> Win32Platform::FindResource(ResourceType type, int id) const {
  HMODULE module = GetModuleHandleW(nullptr);
  HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(id), NativeType(type));
  if (!found) return std::nullopt;
  HGLOBAL loaded = LoadResource(module, found);
  const void* data = loaded ? LockResource(loaded) : nullptr;
  if (!data) return std::nullopt;
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  return std::vector<std::uint8_t>(bytes, bytes + SizeofResource(module, found));
}

std::optional<PixelImage> Win32Platform::DecodePng(const std::vector<std::uint8_t>& bytes) const {
  auto bitmap = DecodeImageBytes(bytes.data(), bytes.size());
  if (!bitmap) return std::nullopt;
  return ToPixelImage(*bitmap);
}

std::unique_ptr<Picture> Win32Platform::LoadPicture(ResourceType type, int id) {
  std::unique_ptr<Gdiplus::Bitmap> bitmap;
  if (type == ResourceType::Bitmap) {
    HBITMAP handle = LoadBitmapW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id));
    if (handle) {
      // GDI+ copies the pixels, so the GDI bitmap can go at once.
      bitmap.reset(Gdiplus::Bitmap::FromHBITMAP(handle, nullptr));
      DeleteObject(handle);
    }
  } else if (auto bytes = FindResource(type, id)) {
    bitmap = DecodeImageBytes(bytes->data(), bytes->size());
  }
  return std::make_unique<GdiplusPicture>(std::move(bitmap));
}

std::unique_ptr<VersionData> Win32Platform::ReadVersionData(const std::string& path) const {
  const std::wstring file = Widen(path);
  DWORD handle = 0;
  const DWORD size = GetFileVersionInfoSizeW(file.c_str(), &handle);
  if (size == 0) return nullptr;
  std::vector<std::uint8_t> block(size);
  GetFileVersionInfoW(file.c_str(), 0, size, block.data());
  return std::make_unique<Win32VersionData>(std::move(block));
}

}  // namespace ui::win32
