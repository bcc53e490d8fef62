// The Win32 platform's services on the real system calls, under Wine.
#include <gtest/gtest.h>

#include <windows.h>
#include <iphlpapi.h>
#include <wininet.h>

#include <chrono>
#include <cstring>
#include <ctime>
#include <thread>

#include "WineTestSupport.h"
#include "gamewnd/BrowserCache.h"
#include "gamewnd/FileVersionString.h"
#include "platform/win32/Text.h"
#include "platform/win32/Win32Platform.h"
#include "ui/Platform.h"

using ui::GetPlatform;
using ui::ResourceType;
using ui::win32::Widen;

namespace {

// ---------------------------------------------------------------------------
// Resources built into the executable

struct PictureCase {
  ResourceType type;
  int id;
  int width;
  int height;
};

void PrintTo(const PictureCase& c, std::ostream* out) {
  *out << (c.type == ResourceType::Png ? "PNG " : "bitmap ") << c.id << ", " << c.width << "x" << c.height;
}

class ResourcePicture : public testing::TestWithParam<PictureCase> {};

TEST_P(ResourcePicture, LoadsAtItsSize) {
  const PictureCase& c = GetParam();
  auto picture = GetPlatform().LoadPicture(c.type, c.id);
  ASSERT_TRUE(picture->Ok());
  EXPECT_EQ(picture->Width(), c.width);
  EXPECT_EQ(picture->Height(), c.height);
}

INSTANTIATE_TEST_SUITE_P(
    ClientArt, ResourcePicture,
    testing::Values(PictureCase{ResourceType::Png, 143, 1357, 852}, PictureCase{ResourceType::Png, 164, 594, 229},
                    PictureCase{ResourceType::Png, 166, 194, 215}, PictureCase{ResourceType::Png, 167, 18, 18},
                    PictureCase{ResourceType::Bitmap, 135, 23, 23}, PictureCase{ResourceType::Bitmap, 155, 118, 35},
                    PictureCase{ResourceType::Bitmap, 161, 60, 20}, PictureCase{ResourceType::Bitmap, 165, 123, 20}),
    [](const testing::TestParamInfo<PictureCase>& info) {
      return (info.param.type == ResourceType::Png ? "Png" : "Bitmap") + std::to_string(info.param.id);
    });

TEST(ResourcePictureMissing, IsNotOkAndHasNoSize) {
  for (ResourceType type : {ResourceType::Png, ResourceType::Bitmap}) {
    auto picture = GetPlatform().LoadPicture(type, 4242);
    EXPECT_FALSE(picture->Ok());
    EXPECT_EQ(picture->Width(), 0);
    EXPECT_EQ(picture->Height(), 0);
  }
}

TEST(Resources, SplashPictureDecodesWithItsAlphaChannel) {
  auto bytes = GetPlatform().FindResource(ResourceType::Png, 143);
  ASSERT_TRUE(bytes);
  auto image = GetPlatform().DecodePng(*bytes);
  ASSERT_TRUE(image);
  EXPECT_EQ(image->width, 1357);
  EXPECT_EQ(image->height, 852);
  EXPECT_EQ(image->bitsPerPixel, 32);
  EXPECT_EQ(image->pitch, 1357 * 4);
  ASSERT_EQ(image->pixels.size(), size_t{1357} * 4 * 852);
  // Transparent margins and opaque art: the alpha bytes were kept.
  EXPECT_EQ(image->pixels[3], 0) << "top-left corner is a transparent margin";
  bool opaque = false;
  for (size_t i = 3; i < image->pixels.size() && !opaque; i += 4) opaque = image->pixels[i] == 255;
  EXPECT_TRUE(opaque);
}

TEST(Resources, FoundByTypeAndNumber) {
  const struct {
    ResourceType type;
    int id;
    bool present;
  } cases[] = {
      {ResourceType::Png, 143, true},      {ResourceType::Bitmap, 135, true},  {ResourceType::Icon, 7, true},
      {ResourceType::Dialog, 102, true},   {ResourceType::Dialog, 130, true},  {ResourceType::Version, 1, true},
      {ResourceType::Png, 135, false},     {ResourceType::Bitmap, 143, false}, {ResourceType::Icon, 8, false},
      {ResourceType::Dialog, 4242, false},
  };
  for (const auto& c : cases) {
    auto bytes = GetPlatform().FindResource(c.type, c.id);
    EXPECT_EQ(bytes.has_value(), c.present) << static_cast<int>(c.type) << " " << c.id;
    if (bytes) {
      EXPECT_FALSE(bytes->empty());
    }
  }
}

TEST(Resources, IconGroupHoldsIcons) {
  auto group = GetPlatform().FindResource(ResourceType::Icon, 7);
  ASSERT_TRUE(group);
  ASSERT_GE(group->size(), 6u);
  // The group directory: reserved 0, type 1 (icons), then the count.
  EXPECT_EQ((*group)[0] | (*group)[1] << 8, 0);
  EXPECT_EQ((*group)[2] | (*group)[3] << 8, 1);
  EXPECT_GE((*group)[4] | (*group)[5] << 8, 1);
}

TEST(Resources, TheVersionDataIsReadFromTheExecutableFile) {
  EXPECT_EQ(GetFileVersionString(), "1.0.0.1");
  const auto data = GetPlatform().ReadVersionData(GetPlatform().ModulePath());
  ASSERT_TRUE(data);
  EXPECT_EQ(data->Query("\\VarFileInfo\\Translation"), (std::vector<std::uint8_t>{0x04, 0x08, 0xb0, 0x04}));
  const auto description = data->Query("\\StringFileInfo\\080404b0\\FileDescription");
  ASSERT_TRUE(description);
  EXPECT_EQ(std::string(description->begin(), description->end()), "Qelunar 游戏客户端");
  EXPECT_FALSE(data->Query("\\StringFileInfo\\080404b0\\Missing"));
  // A file without version data.
  wchar_t system[MAX_PATH];
  GetSystemDirectoryW(system, MAX_PATH);
  EXPECT_FALSE(GetPlatform().ReadVersionData(ui::win32::Narrow(system) + "\\no-such-file.exe"));
}

// ---------------------------------------------------------------------------
// PNG decoding

// A 3 x 2 picture with 8-bit RGBA, pixels (r, g, b, a):
//   (255,0,0,255)   (0,255,0,128)   (0,0,255,0)
//   (10,20,30,200)  (200,100,50,1)  (255,255,255,255)
const std::vector<std::uint8_t> kSmallPng = {
    0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a, 0x00, 0x00, 0x00, 0x0d, 0x49, 0x48, 0x44, 0x52, 0x00, 0x00,
    0x00, 0x03, 0x00, 0x00, 0x00, 0x02, 0x08, 0x06, 0x00, 0x00, 0x00, 0x9d, 0x74, 0x66, 0x1a, 0x00, 0x00, 0x00,
    0x1d, 0x49, 0x44, 0x41, 0x54, 0x78, 0x9c, 0x63, 0xf8, 0xcf, 0xc0, 0xf0, 0x1f, 0x08, 0x1b, 0x40, 0x14, 0x03,
    0x97, 0x88, 0xdc, 0x89, 0x13, 0x29, 0x46, 0x8c, 0xff, 0x81, 0x00, 0x00, 0x78, 0x73, 0x0a, 0xdc, 0x30, 0xfb,
    0xfa, 0x94, 0x00, 0x00, 0x00, 0x00, 0x49, 0x45, 0x4e, 0x44, 0xae, 0x42, 0x60, 0x82};

TEST(DecodePng, GivesStraightBgraRowsTopDown) {
  auto image = GetPlatform().DecodePng(kSmallPng);
  ASSERT_TRUE(image);
  EXPECT_EQ(image->width, 3);
  EXPECT_EQ(image->height, 2);
  EXPECT_EQ(image->bitsPerPixel, 32);
  EXPECT_EQ(image->pitch, 12);
  const std::vector<std::uint8_t> expected = {
      0,  0,  255, 255, 0,  255, 0,   128, 255, 0,   0,   0,    // first row
      30, 20, 10,  200, 50, 100, 200, 1,   255, 255, 255, 255,  // second row
  };
  EXPECT_EQ(image->pixels, expected);
}

TEST(DecodePng, NothingForBytesThatAreNoPicture) {
  const std::vector<std::vector<std::uint8_t>> cases = {
      {},
      {'n', 'o', 't', ' ', 'a', ' ', 'p', 'n', 'g'},
      std::vector<std::uint8_t>(kSmallPng.begin(), kSmallPng.begin() + 8),  // signature only
  };
  for (const auto& bytes : cases) EXPECT_FALSE(GetPlatform().DecodePng(bytes)) << bytes.size() << " bytes";
}

// ---------------------------------------------------------------------------
// Command line, processes, module path

TEST(ArgumentsOf, IsTheTextAfterTheProgramNameAndItsBlanks) {
  const struct {
    const wchar_t* commandLine;
    const wchar_t* arguments;
  } cases[] = {
      {L"client.exe", L""},
      {L"client.exe   ", L""},
      {L"\"C:\\Games\\My Client\\client.exe\"", L""},
      {L"\"C:\\Games\\My Client\\client.exe\" -url \"http://h/x?a=1\"", L"-url \"http://h/x?a=1\""},
      {L"C:\\client.exe -x  -url \"a b\" -y ", L"-x  -url \"a b\" -y "},
      {L"client.exe\t\t-url", L"-url"},
      {L"\"C:\\x.exe\"-url", L"-url"},
      {L" p http://x/y", L"p http://x/y"},  // how the game client is started
      {L"\"unterminated", L""},
      {L"", L""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ui::win32::ArgumentsOf(c.commandLine), c.arguments) << ui::win32::Narrow(c.commandLine);
  }
}

// Starts this test program as a child with the given arguments and returns
// what it reported, or empty text when it did not report within 20 s.
std::string StartChild(const std::string& program, const std::string& arguments, const wine_tests::TempDir& dir) {
  const std::string report = dir.File("report.txt");
  DeleteFileW(Widen(report).c_str());
  SetEnvironmentVariableW(Widen(wine_tests::kChildReportVariable).c_str(), Widen(report).c_str());
  const bool started = GetPlatform().StartProcess(program, arguments);
  SetEnvironmentVariableW(Widen(wine_tests::kChildReportVariable).c_str(), nullptr);
  if (!started) return {};
  for (int i = 0; i < 200 && !wine_tests::FileExists(report); ++i) Sleep(100);
  return wine_tests::ReadFile(report);
}

TEST(StartProcess, ChildReceivesTheArgumentsAsTheWholeCommandLine) {
  wine_tests::TempDir dir("start");
  const struct {
    std::string arguments;
    std::string report;
  } cases[] = {
      {" p http://x/y", "args=p http://x/y\nmodule=@\nargv=\nargv=p\nargv=http://x/y\n"},
      {"\"C:\\游戏 目录\\a.exe\" -url \"http://h/登录?x=1\"",
       "args=-url \"http://h/登录?x=1\"\nmodule=@\nargv=C:\\游戏 目录\\a.exe\nargv=-url\nargv=http://h/登录?x=1\n"},
      // No arguments: the program is started without a command line.
      {"", "args=\nmodule=@\nargv=@\n"},
  };
  const std::string self = GetPlatform().ModulePath();
  for (auto c : cases) {
    for (size_t at; (at = c.report.find('@')) != std::string::npos;) c.report.replace(at, 1, self);
    EXPECT_EQ(StartChild(self, c.arguments, dir), c.report) << c.arguments;
  }
}

TEST(StartProcess, FailsForAMissingProgram) {
  wine_tests::TempDir dir("missing");
  EXPECT_FALSE(GetPlatform().StartProcess(dir.File("nothing.exe"), " p x"));
}

TEST(ModulePath, IsTheFullPathInUtf8AlsoInAChineseFolder) {
  wine_tests::TempDir dir("客户端 目录");
  const std::string copy = dir.File("客户端.exe");
  ASSERT_TRUE(CopyFileW(Widen(GetPlatform().ModulePath()).c_str(), Widen(copy).c_str(), FALSE));
  const std::string report = StartChild(copy, "", dir);
  EXPECT_NE(report.find("\nmodule=" + copy + "\n"), std::string::npos) << report;
}

TEST(ModulePath, EndsWithThisProgramAfterTheSeparator) {
  const std::string path = GetPlatform().ModulePath();
  ASSERT_EQ(GetPlatform().PathSeparator(), '\\');
  const size_t last = path.rfind(GetPlatform().PathSeparator());
  ASSERT_NE(last, std::string::npos);
  EXPECT_TRUE(wine_tests::FileExists(path));
  EXPECT_TRUE(wine_tests::FileExists(path.substr(0, last)));
  EXPECT_EQ(path.substr(path.size() - 4), ".exe");
}

// ---------------------------------------------------------------------------
// Files

TEST(AppendToExistingFile, AppendsAtTheEndAndNeverCreates) {
  wine_tests::TempDir dir("配置");
  const struct {
    const char* name;
    bool exists;
    const char* before;
    const char* bytes;
    bool answer;
    const char* after;
  } cases[] = {
      {"pm_config.ini", true, "a=b", "\r\nfirstopen=false", true, "a=b\r\nfirstopen=false"},
      {"empty.ini", true, "", "\r\nk=v", true, "\r\nk=v"},
      {"中文.ini", true, "x=1\r\n", "\r\n键=值", true, "x=1\r\n\r\n键=值"},
      {"absent.ini", false, "", "\r\nk=v", false, nullptr},
  };
  for (const auto& c : cases) {
    const std::string path = dir.File(c.name);
    if (c.exists) wine_tests::WriteFile(path, c.before);
    EXPECT_EQ(GetPlatform().AppendToExistingFile(path, c.bytes), c.answer) << c.name;
    if (c.after) {
      EXPECT_EQ(wine_tests::ReadFile(path), c.after) << c.name;
    } else {
      EXPECT_FALSE(wine_tests::FileExists(path)) << c.name;
    }
  }
}

TEST(AppendToExistingFile, SecondAppendGoesAfterTheFirst) {
  wine_tests::TempDir dir("twice");
  const std::string path = dir.File("pm_config.ini");
  wine_tests::WriteFile(path, "a=b");
  ASSERT_TRUE(GetPlatform().AppendToExistingFile(path, "\r\nk1=v1"));
  ASSERT_TRUE(GetPlatform().AppendToExistingFile(path, "\r\nk2=v2"));
  EXPECT_EQ(wine_tests::ReadFile(path), "a=b\r\nk1=v1\r\nk2=v2");
}

// ---------------------------------------------------------------------------
// Network adapters

TEST(AdapterAddresses, AreTheAdaptersInTheSystemsOrder) {
  ULONG size = 0;
  ASSERT_EQ(GetAdaptersInfo(nullptr, &size), static_cast<DWORD>(ERROR_BUFFER_OVERFLOW));
  std::vector<std::uint8_t> buffer(size);
  auto* list = reinterpret_cast<IP_ADAPTER_INFO*>(buffer.data());
  ASSERT_EQ(GetAdaptersInfo(list, &size), static_cast<DWORD>(ERROR_SUCCESS));
  std::vector<ui::HardwareAddress> expected;
  for (auto* adapter = list; adapter; adapter = adapter->Next) {
    ui::HardwareAddress address{};
    std::memcpy(address.data(), adapter->Address, 6);
    expected.push_back(address);
  }

  auto addresses = GetPlatform().AdapterAddresses();
  ASSERT_TRUE(addresses);
  EXPECT_EQ(*addresses, expected);
}

// ---------------------------------------------------------------------------
// Clock

std::int64_t DaysFromCivil(int y, int m, int d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int yoe = static_cast<int>(y - era * 400);
  const int doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

TEST(UtcNow, AgreesWithTheCRuntimesClock) {
  const std::time_t before = std::time(nullptr);
  const ui::SystemTime now = GetPlatform().UtcNow();
  const std::time_t after = std::time(nullptr);
  const std::int64_t days = DaysFromCivil(now.year, now.month, now.day);
  const std::int64_t seconds = days * 86400 + now.hour * 3600 + now.minute * 60 + now.second;
  EXPECT_GE(seconds, before - 1);
  EXPECT_LE(seconds, after + 1);
  EXPECT_EQ(now.dayOfWeek, static_cast<int>((days + 4) % 7));  // 1970-01-01 was a Thursday
  EXPECT_GE(now.milliseconds, 0);
  EXPECT_LT(now.milliseconds, 1000);
}

// ---------------------------------------------------------------------------
// Browser cache

TEST(CleanBrowserCache, DeletesEveryEntryButCookies) {
  // An address longer than the first 4096-byte buffer makes the cleaner
  // grow its buffer and carry on with the same entry.
  const std::wstring longUrl = L"http://kqv.invalid/long?" + std::wstring(5000, L'q');
  const struct {
    std::wstring url;
    DWORD type;
    bool remains;
  } cases[] = {
      {L"http://kqv.invalid/game.js", NORMAL_CACHE_ENTRY, false},
      {L"http://kqv.invalid/art.png", NORMAL_CACHE_ENTRY | STICKY_CACHE_ENTRY, false},
      {longUrl, NORMAL_CACHE_ENTRY, false},
      {L"Cookie:player@kqv.invalid/", COOKIE_CACHE_ENTRY, true},
  };
  for (const auto& c : cases) {
    ASSERT_TRUE(wine_tests::AddUrlCacheEntry(c.url, c.type)) << ui::win32::Narrow(c.url.substr(0, 60));
    ASSERT_TRUE(wine_tests::InUrlCache(c.url)) << ui::win32::Narrow(c.url.substr(0, 60));
  }

  ui::UrlCache* cache = GetPlatform().BrowserUrlCache();
  ASSERT_NE(cache, nullptr);
  EXPECT_TRUE(CleanUrlCache(*cache));

  for (const auto& c : cases)
    EXPECT_EQ(wine_tests::InUrlCache(c.url), c.remains) << ui::win32::Narrow(c.url.substr(0, 60));
  for (const auto& c : cases) DeleteUrlCacheEntryW(c.url.c_str());
}

}  // namespace
