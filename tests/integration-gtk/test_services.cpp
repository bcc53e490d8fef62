// The GTK platform's services and conversions, checked against the system
// they run on (files, processes, network interfaces, the resource table).
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <gdk/gdkkeysyms.h>
#include <jsc/jsc.h>
#include <nlohmann/json.hpp>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <future>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <sstream>
#include <thread>

#include "GtkTestSupport.h"
#include "platform/gtk/DataProfile.h"
#include "platform/gtk/GtkBrowser.h"
#include "platform/gtk/GtkPlatform.h"
#include "platform/gtk/GtkWindowPeer.h"
#include "platform/gtk/PngDecoder.h"
#include "ui/Platform.h"

namespace kqvtest {
namespace {

namespace fs = std::filesystem;

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

TEST(GtkServicesTest, CommandLineIsRebuiltTheWayAWindowsProgramReceivesIt) {
  struct Case {
    std::vector<std::string> argv;
    std::string text;
  };
  const Case cases[] = {
      {{}, ""},
      {{"-url", "http://a/b"}, R"(-url "http://a/b")"},
      {{"-url", "http://a/b?x=1&y=2", "-v"}, R"(-url "http://a/b?x=1&y=2" -v)"},
      {{"plain", ""}, R"("plain" "")"},
      {{"两个 字"}, "\"两个 字\""},
  };
  for (const Case& c : cases) EXPECT_EQ(ui::gtk::JoinCommandLine(c.argv), c.text);
  // The process's own arguments, as main() gave them to the platform.
  EXPECT_EQ(ui::GetPlatform().CommandLineArgs(), R"(-url "http://127.0.0.1/x?a=1&b=2")");
}

TEST(GtkServicesTest, AppendGoesToTheEndOfExistingFilesOnly) {
  const fs::path dir = fs::path(TestHome()) / "append";
  fs::create_directories(dir);
  const fs::path existing = dir / "pm_config.ini";
  std::ofstream(existing) << "first\n";
  auto& platform = ui::GetPlatform();

  EXPECT_TRUE(platform.AppendToExistingFile(existing, "second=二\r\n"));
  EXPECT_TRUE(platform.AppendToExistingFile(existing, ""));
  EXPECT_TRUE(platform.AppendToExistingFile(existing, "third"));
  EXPECT_EQ(ReadFile(existing), "first\nsecond=二\r\nthird");

  EXPECT_FALSE(platform.AppendToExistingFile(dir / "missing.ini", "x"));
  EXPECT_FALSE(fs::exists(dir / "missing.ini"));
  EXPECT_FALSE(platform.AppendToExistingFile(dir, "x"));
}

// Whatever else sits under the settings file's name is left alone at once:
// a FIFO without a reader would otherwise hold the GUI thread in open().
TEST(GtkServicesTest, AppendLeavesAnythingButARegularFileAloneWithoutWaiting) {
  const fs::path dir = fs::path(TestHome()) / "append-odd";
  fs::create_directories(dir);
  const fs::path fifo = dir / "fifo.ini";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const fs::path regular = dir / "regular.ini";
  std::ofstream(regular) << "a=b";
  fs::create_directory(dir / "directory.ini");
  fs::create_symlink(dir / "nowhere.ini", dir / "dangling.ini");
  fs::create_symlink(fifo, dir / "to-fifo.ini");
  fs::create_symlink(regular, dir / "to-regular.ini");
  struct Case {
    const char* name;
    bool appended;
  };
  for (const Case c : {Case{"fifo.ini", false}, Case{"directory.ini", false}, Case{"dangling.ini", false},
                       Case{"to-fifo.ini", false}, Case{"to-regular.ini", true}}) {
    SCOPED_TRACE(c.name);
    const fs::path path = dir / c.name;
    auto call = std::async(std::launch::async, [&] { return ui::GetPlatform().AppendToExistingFile(path, "x=y"); });
    if (call.wait_for(std::chrono::seconds(5)) != std::future_status::ready) {
      // Let the stuck open go before failing.
      const int reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
      call.wait();
      if (reader >= 0) close(reader);
      ADD_FAILURE() << "the append waited";
      continue;
    }
    EXPECT_EQ(call.get(), c.appended);
  }
  // A FIFO with a reader is not written to either.
  const int reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(reader, 0);
  EXPECT_FALSE(ui::GetPlatform().AppendToExistingFile(fifo, "x=y"));
  char byte = 0;
  EXPECT_EQ(read(reader, &byte, 1), 0);  // nothing arrived, no writer left
  close(reader);
  // Nothing was made, and the one file reached through a link got the text.
  EXPECT_FALSE(fs::exists(dir / "nowhere.ini"));
  EXPECT_TRUE(fs::is_empty(dir / "directory.ini"));
  EXPECT_EQ(ReadFile(regular), "a=bx=y");
}

TEST(GtkServicesTest, StartedProcessGetsItsArgumentsSplitAsAWindowsProgramWould) {
  const fs::path out = fs::path(TestHome()) / "started.txt";
  const fs::path script = fs::path(TestHome()) / "record-args.sh";
  {
    std::ofstream file(script);
    file << "#!/bin/sh\nprintf '[%s]' \"$@\" > " << out.string() << "\n";
  }
  fs::permissions(script, fs::perms::owner_all);
  auto& platform = ui::GetPlatform();
  ASSERT_TRUE(platform.StartProcess(script.string(), " p http://a/b?x=1&y='z' \"two words\" a\\\"b $HOME"));
  ASSERT_TRUE(PumpUntil([&] { return fs::exists(out) && fs::file_size(out) > 0; }));
  EXPECT_EQ(ReadFile(out), "[p][http://a/b?x=1&y='z'][two words][a\"b][$HOME]");

  EXPECT_FALSE(platform.StartProcess("/nonexistent/program", ""));
  EXPECT_FALSE(platform.StartProcess("", "x"));
}

TEST(GtkServicesTest, AdapterAddressesAreTheInterfacesHardwareAddresses) {
  // What the kernel lists: every interface but loopback with a 6-byte address.
  std::set<ui::HardwareAddress> expected;
  for (const auto& entry : fs::directory_iterator("/sys/class/net")) {
    if (entry.path().filename() == "lo") continue;
    if (ReadFile(entry.path() / "addr_len").rfind("6", 0) != 0) continue;
    unsigned b[6];
    if (std::sscanf(ReadFile(entry.path() / "address").c_str(), "%x:%x:%x:%x:%x:%x", &b[0], &b[1], &b[2], &b[3], &b[4],
                    &b[5]) != 6) {
      continue;
    }
    ui::HardwareAddress address;
    for (int i = 0; i < 6; ++i) address[i] = static_cast<std::uint8_t>(b[i]);
    expected.insert(address);
  }
  const auto addresses = ui::GetPlatform().AdapterAddresses();
  if (expected.empty()) {
    EXPECT_FALSE(addresses.has_value());
  } else {
    ASSERT_TRUE(addresses.has_value());
    EXPECT_EQ(std::set<ui::HardwareAddress>(addresses->begin(), addresses->end()), expected);
    EXPECT_EQ(addresses->size(), expected.size());
  }
}

TEST(GtkServicesTest, SplashPictureDecodesToStraightBgraWithItsAlpha) {
  auto& platform = ui::GetPlatform();
  const auto png = platform.FindResource(ui::ResourceType::Png, 143);
  ASSERT_TRUE(png.has_value());
  const auto image = platform.DecodePng(*png);
  ASSERT_TRUE(image.has_value());
  EXPECT_EQ(image->width, 1357);
  EXPECT_EQ(image->height, 852);
  EXPECT_EQ(image->bitsPerPixel, 32);
  EXPECT_EQ(image->pitch, 1357 * 4);
  ASSERT_EQ(image->pixels.size(), 1357u * 852u * 4u);

  std::ifstream file(std::string(KQV_SOURCE_DIR) + "/res/art-probes.json");
  const auto probes = nlohmann::json::parse(file);
  for (const auto& probe : probes["opaque"]) {
    const std::uint8_t* p = &image->pixels[(probe["y"].get<int>() * 1357 + probe["x"].get<int>()) * 4];
    EXPECT_EQ(p[0], probe["b"].get<int>());
    EXPECT_EQ(p[1], probe["g"].get<int>());
    EXPECT_EQ(p[2], probe["r"].get<int>());
    EXPECT_EQ(p[3], 255);
  }
  for (const auto& probe : probes["transparent"]) {
    EXPECT_EQ(image->pixels[(probe["y"].get<int>() * 1357 + probe["x"].get<int>()) * 4 + 3], 0);
  }

  const auto bitmap = platform.FindResource(ui::ResourceType::Bitmap, 135);
  ASSERT_TRUE(bitmap.has_value());
  EXPECT_FALSE(platform.DecodePng(*bitmap).has_value());
  EXPECT_FALSE(platform.DecodePng({0x89, 'P', 'N', 'G', 1, 2, 3}).has_value());
  EXPECT_FALSE(platform.DecodePng({}).has_value());
}

// Three by two pixels, straight RGBA: (255,0,0,255) (0,255,0,128)
// (0,0,255,0) / (10,20,30,200) (200,100,50,1) (255,255,255,255).
const std::vector<std::uint8_t> kSmallPng = {
    0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a, 0x00, 0x00, 0x00, 0x0d, 0x49, 0x48, 0x44, 0x52, 0x00, 0x00,
    0x00, 0x03, 0x00, 0x00, 0x00, 0x02, 0x08, 0x06, 0x00, 0x00, 0x00, 0x9d, 0x74, 0x66, 0x1a, 0x00, 0x00, 0x00,
    0x1d, 0x49, 0x44, 0x41, 0x54, 0x78, 0x9c, 0x63, 0xf8, 0xcf, 0xc0, 0xf0, 0x1f, 0x08, 0x1b, 0x40, 0x14, 0x03,
    0x97, 0x88, 0xdc, 0x89, 0x13, 0x29, 0x46, 0x8c, 0xff, 0x81, 0x00, 0x00, 0x78, 0x73, 0x0a, 0xdc, 0x30, 0xfb,
    0xfa, 0x94, 0x00, 0x00, 0x00, 0x00, 0x49, 0x45, 0x4e, 0x44, 0xae, 0x42, 0x60, 0x82};

// Decoded at once or ahead on another thread, a picture is the same straight
// BGRA; taken once, the next decode of the same bytes is done afresh; bytes
// that are no picture give nothing either way.
TEST(GtkServicesTest, PicturesDecodedAheadOrAtOnceAreTheSameStraightBgra) {
  const std::vector<std::uint8_t> expected = {
      0,  0,  255, 255, 0,  255, 0,   128, 255, 0,   0,   0,    // first row
      30, 20, 10,  200, 50, 100, 200, 1,   255, 255, 255, 255,  // second row
  };
  const std::vector<std::uint8_t> broken(kSmallPng.begin(), kSmallPng.begin() + 40);
  ui::gtk::PngDecodedAhead ahead({{kSmallPng.data(), kSmallPng.size()}, {broken.data(), broken.size()}});
  const std::vector<std::uint8_t> copy = kSmallPng;  // found by its bytes, wherever they are
  const auto first = ahead.Take(copy.data(), copy.size());
  ASSERT_TRUE(first.has_value());
  ASSERT_TRUE(first->has_value());
  const auto now = ui::gtk::DecodePngBgra(kSmallPng.data(), kSmallPng.size());
  ASSERT_TRUE(now.has_value());
  for (const ui::PixelImage& image : {**first, *now}) {
    EXPECT_EQ(image.width, 3);
    EXPECT_EQ(image.height, 2);
    EXPECT_EQ(image.bitsPerPixel, 32);
    EXPECT_EQ(image.pitch, 12);
    EXPECT_EQ(image.pixels, expected);
  }
  EXPECT_FALSE(ahead.Take(copy.data(), copy.size()).has_value());  // already taken
  const auto none = ahead.Take(broken.data(), broken.size());
  ASSERT_TRUE(none.has_value());
  EXPECT_FALSE(none->has_value());
  EXPECT_FALSE(ui::gtk::DecodePngBgra(broken.data(), broken.size()).has_value());
  EXPECT_FALSE(ui::gtk::DecodePngBgra(nullptr, 0).has_value());
  ui::gtk::PngDecodedAhead forgotten({{kSmallPng.data(), kSmallPng.size()}});
  forgotten.Forget();
  EXPECT_FALSE(forgotten.Take(kSmallPng.data(), kSmallPng.size()).has_value());
}

TEST(GtkServicesTest, BitmapsDecodeWithOrWithoutTheirFileHeader) {
  const auto file = ui::GetPlatform().FindResource(ui::ResourceType::Bitmap, 161);
  ASSERT_TRUE(file.has_value());
  ASSERT_GT(file->size(), 14u);
  const std::vector<std::uint8_t> dib(file->begin() + 14, file->end());
  GdkPixbuf* withHeader = ui::gtk::PixbufFromBytes(*file, "bmp");
  GdkPixbuf* bare = ui::gtk::PixbufFromBytes(dib, "bmp");
  ASSERT_TRUE(withHeader);
  ASSERT_TRUE(bare);
  const auto a = ui::gtk::PixbufToBgra(withHeader);
  const auto b = ui::gtk::PixbufToBgra(bare);
  EXPECT_EQ(a.width, 60);
  EXPECT_EQ(a.height, 20);
  EXPECT_EQ(a.pixels, b.pixels);
  g_object_unref(withHeader);
  g_object_unref(bare);
}

TEST(GtkServicesTest, PicturesFromResources) {
  struct Case {
    ui::ResourceType type;
    int id;
    int width;
    int height;
  };
  auto& platform = ui::GetPlatform();
  for (const Case c : {Case{ui::ResourceType::Png, 164, 594, 229}, Case{ui::ResourceType::Png, 167, 18, 18},
                       Case{ui::ResourceType::Bitmap, 165, 123, 20}, Case{ui::ResourceType::Png, 9999, 0, 0}}) {
    SCOPED_TRACE(c.id);
    const auto picture = platform.LoadPicture(c.type, c.id);
    ASSERT_TRUE(picture);
    EXPECT_EQ(picture->Ok(), c.width > 0);
    EXPECT_EQ(picture->Width(), c.width);
    EXPECT_EQ(picture->Height(), c.height);
  }
}

TEST(GtkServicesTest, FactsOfTheProcessAndTheScreen) {
  auto& platform = ui::GetPlatform();
  EXPECT_EQ(platform.ScreenSize(), (ui::Size{1920, 1080}));
  EXPECT_EQ(platform.PathSeparator(), '/');
  const fs::path module = platform.ModulePath();
  EXPECT_TRUE(module.is_absolute());
  EXPECT_EQ(module.filename(), "gtk_integration_tests");
  EXPECT_TRUE(fs::equivalent(module, "/proc/self/exe"));

  const std::time_t before = std::time(nullptr);
  const ui::SystemTime now = platform.UtcNow();
  std::tm utc{};
  gmtime_r(&before, &utc);
  EXPECT_EQ(now.year, utc.tm_year + 1900);
  EXPECT_EQ(now.month, utc.tm_mon + 1);
  EXPECT_EQ(now.dayOfWeek, utc.tm_wday);
  const long nowSeconds = now.hour * 3600L + now.minute * 60 + now.second;
  const long beforeSeconds = utc.tm_hour * 3600L + utc.tm_min * 60 + utc.tm_sec;
  EXPECT_LE(std::labs(nowSeconds - beforeSeconds), 2);
  EXPECT_GE(now.milliseconds, 0);
  EXPECT_LT(now.milliseconds, 1000);
}

TEST(GtkServicesTest, VirtualKeysOfGdkKeys) {
  const std::pair<guint, unsigned> cases[] = {
      {GDK_KEY_Return, 13}, {GDK_KEY_KP_Enter, 13}, {GDK_KEY_Escape, 27}, {GDK_KEY_a, 'A'}, {GDK_KEY_Z, 'Z'},
      {GDK_KEY_7, '7'},     {GDK_KEY_F5, 0x74},     {GDK_KEY_Left, 0x25}, {GDK_KEY_Tab, 9}, {GDK_KEY_dead_acute, 0},
  };
  for (const auto& [keyval, key] : cases) EXPECT_EQ(ui::gtk::VirtualKeyFromKeyval(keyval), key) << keyval;
}

TEST(GtkServicesTest, JavaScriptLiteralsReadBackAsTheSameText) {
  JSCContext* context = jsc_context_new();
  const std::string texts[] = {"",
                               "1.0.0.1",
                               "quote \" and \\ backslash",
                               "line\nbreak\r\ttab",
                               "</script><b>",
                               "中文 VIP专员",
                               "sep\xE2\x80\xA8"
                               "ar\xE2\x80\xA9"
                               "ators",
                               std::string("nul\0byte", 8)};
  for (const std::string& text : texts) {
    const std::string literal = ui::gtk::JsString(text);
    EXPECT_EQ(literal.find('\n'), std::string::npos);
    JSCValue* value = jsc_context_evaluate(context, literal.c_str(), static_cast<gssize>(literal.size()));
    ASSERT_TRUE(jsc_value_is_string(value)) << literal;
    GBytes* bytes = jsc_value_to_string_as_bytes(value);
    gsize size = 0;
    const auto* data = static_cast<const char*>(g_bytes_get_data(bytes, &size));
    EXPECT_EQ(std::string(data, size), text) << literal;
    g_bytes_unref(bytes);
    g_object_unref(value);
  }
  g_object_unref(context);
}

TEST(GtkServicesTest, OpaqueRegionIsExactlyThePixelsFromTheGivenAlphaOn) {
  ui::PixelImage image{.width = 67, .height = 23, .bitsPerPixel = 32, .pitch = 67 * 4, .pixels = {}};
  image.pixels.resize(67 * 23 * 4);
  std::mt19937 random(7);
  constexpr std::uint8_t kAlphas[] = {0, 1, 127, 128, 129, 255};
  for (std::size_t i = 3; i < image.pixels.size(); i += 4) image.pixels[i] = kAlphas[random() % 6];
  for (const int minAlpha : {1, 128}) {
    cairo_region_t* region = ui::gtk::OpaqueRegion(image, static_cast<std::uint8_t>(minAlpha));
    for (int y = 0; y < image.height; ++y) {
      for (int x = 0; x < image.width; ++x) {
        const bool inside = image.pixels[(y * image.width + x) * 4 + 3] >= minAlpha;
        EXPECT_EQ(cairo_region_contains_point(region, x, y), inside) << x << "," << y << " from " << minAlpha;
      }
    }
    cairo_region_destroy(region);
  }
}

TEST(GtkServicesTest, UnpremultipliedRowGivesTheStraightColours) {
  const struct {
    std::uint8_t b, g, r, a;  // premultiplied, as the picture holds them
    std::uint32_t straight;   // 0x00RRGGBB
  } cases[] = {
      {0, 0, 255, 255, 0xFF0000},   {0, 128, 0, 128, 0x00FF00},  // half-transparent green is green, not dark green
      {100, 50, 25, 200, 0x204080},                              // rounded to nearest
      {10, 10, 10, 10, 0xFFFFFF},   {0, 0, 0, 0, 0x000000},
      {200, 0, 0, 100, 0x0000FF},  // never over 255, whatever the rounding left
  };
  for (const auto& c : cases) {
    const std::uint8_t in[4] = {c.b, c.g, c.r, c.a};
    std::uint32_t out = 0xDEADBEEF;
    ui::gtk::UnpremultipliedRow(in, &out, 1);
    EXPECT_EQ(out, c.straight) << int(c.b) << "," << int(c.g) << "," << int(c.r) << "," << int(c.a);
  }
}

}  // namespace
}  // namespace kqvtest

namespace kqvtest {
namespace {

TEST(GtkServicesTest, PagesOpenInTheSystemBrowser) {
  fs::remove(OpenedPagesFile());
  const std::string page = "http://127.0.0.1:9/home?a=1&b=2";
  ui::GetPlatform().OpenInSystemBrowser(page);
  ui::GetPlatform().OpenInSystemBrowser("");  // nothing to open: nothing happens
  ASSERT_TRUE(PumpUntil([&] { return fs::exists(OpenedPagesFile()); }));
  PumpFor(std::chrono::milliseconds(300));
  EXPECT_EQ(ReadFile(OpenedPagesFile()), page + "\n");
}

}  // namespace
}  // namespace kqvtest

namespace kqvtest {
namespace {

// Work that holds the GUI thread (the engine's start) never runs between a
// main window's showing and its first drawing, runs at idle otherwise, and
// is not held for ever by a window that never draws.
TEST(GtkServicesTest, StartUpWorkWaitsForTheFirstDrawOfAShownMainWindow) {
  enum class Step { None, Shown, ShownThenDrawn };
  const struct {
    const char* what;
    Step step;
    bool cancel;
    std::chrono::milliseconds ranWithin;  // zero: must not run in the first 500 ms
  } cases[] = {
      {"nothing shown", Step::None, false, std::chrono::milliseconds(500)},
      {"shown, not drawn", Step::Shown, false, std::chrono::milliseconds(0)},
      {"shown, then drawn", Step::ShownThenDrawn, false, std::chrono::milliseconds(500)},
      {"cancelled", Step::None, true, std::chrono::milliseconds(0)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ui::gtk::GtkPlatform platform({});  // a gate of its own; the installed platform stays
    int runs = 0;
    if (c.step != Step::None) platform.NoteMainWindowShown();
    const int token = platform.AfterStartUp([&] { ++runs; });
    EXPECT_EQ(runs, 0);  // never at once
    if (c.cancel) platform.CancelAfterStartUp(token);
    if (c.step == Step::ShownThenDrawn) {
      PumpFor(std::chrono::milliseconds(200));
      EXPECT_EQ(runs, 0);
      platform.NoteMainWindowDrawn();
    }
    if (c.ranWithin.count() > 0) {
      EXPECT_TRUE(PumpUntil([&] { return runs == 1; }, c.ranWithin));
    } else {
      PumpFor(std::chrono::milliseconds(500));
      EXPECT_EQ(runs, 0);
    }
  }
  // A main window that never draws holds the work a few seconds, no more.
  ui::gtk::GtkPlatform platform({});
  bool ran = false;
  platform.NoteMainWindowShown();
  platform.AfterStartUp([&] { ran = true; });
  EXPECT_TRUE(PumpUntil([&] { return ran; }, std::chrono::seconds(5)));
}

TEST(GtkServicesTest, CacheCleaningTakesNoInputUntilItEnds) {
  // Whatever runs while the engine clears its caches finds the windows'
  // input held, and it is released afterwards.
  static GtkWidget* grabbed = nullptr;
  static int polls = 0;
  grabbed = nullptr;
  polls = 0;
  // Due at once: it runs before the engine's answer can come back.
  const guint probe = g_timeout_add(
      0,
      [](gpointer) -> gboolean {
        ++polls;
        if (!grabbed) grabbed = gtk_grab_get_current();
        return G_SOURCE_CONTINUE;
      },
      nullptr);
  EXPECT_TRUE(ui::GetPlatform().CleanBrowserCache());
  g_source_remove(probe);
  ASSERT_GT(polls, 0);
  EXPECT_NE(grabbed, nullptr);
  EXPECT_EQ(gtk_grab_get_current(), nullptr);
}

TEST(GtkServicesTest, CacheCleaningEndsCleanlyWhenTheBoundAndTheAnswerComeInOneTurn) {
  // A handler that runs a loop of its own during the wait (a message box)
  // lets both the bound and the engine's answer come before the wait looks
  // again: the bound's timer has gone by then, and nothing may remove it
  // again (a GLib critical, fatal under G_DEBUG=fatal-criticals).
  auto& platform = ui::gtk::Backend();
  platform.SetCacheCleaningBound(std::chrono::milliseconds(0));
  static int criticals = 0;
  criticals = 0;
  const guint handler = g_log_set_handler(
      "GLib", static_cast<GLogLevelFlags>(G_LOG_LEVEL_CRITICAL | G_LOG_FLAG_FATAL),
      [](const gchar*, GLogLevelFlags, const gchar* message, gpointer) {
        ADD_FAILURE() << message;
        ++criticals;
      },
      nullptr);
  static bool nested = false;
  nested = false;
  // Ahead of the bound's timer, due as soon as the wait starts.
  g_timeout_add_full(
      G_PRIORITY_HIGH, 0,
      [](gpointer) -> gboolean {
        // A clear asked after the platform's is answered after it.
        bool answered = false;
        webkit_website_data_manager_clear(
            ui::gtk::Backend().WebsiteData(),
            static_cast<WebKitWebsiteDataTypes>(WEBKIT_WEBSITE_DATA_DISK_CACHE | WEBKIT_WEBSITE_DATA_MEMORY_CACHE), 0,
            nullptr,
            [](GObject* source, GAsyncResult* result, gpointer done) {
              webkit_website_data_manager_clear_finish(WEBKIT_WEBSITE_DATA_MANAGER(source), result, nullptr);
              *static_cast<bool*>(done) = true;
            },
            &answered);
        nested = PumpUntil([&] { return answered; });
        return G_SOURCE_REMOVE;
      },
      nullptr, nullptr);
  EXPECT_TRUE(platform.CleanBrowserCache());
  platform.SetCacheCleaningBound(std::chrono::seconds(15));
  EXPECT_TRUE(nested) << "the engine never answered the second clear";
  PumpFor(std::chrono::milliseconds(200));  // a late answer to an abandoned wait
  g_log_remove_handler("GLib", handler);
  EXPECT_EQ(criticals, 0);
}

TEST(GtkServicesTest, EachCopyGetsADataProfileOfItsOwn) {
  // Another copy's lock is another open file's flock, here as elsewhere.
  const std::string base = TestHome() + "/profiles";
  auto hold = [&](const std::string& folder) {
    g_mkdir_with_parents((base + "/data/" + folder).c_str(), 0700);
    const int fd = open((base + "/data/" + folder + "/lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    EXPECT_EQ(flock(fd, LOCK_EX | LOCK_NB), 0) << folder;
    return fd;
  };
  using ui::gtk::TakeDataProfile;
  constexpr auto kNoWait = std::chrono::milliseconds(0);
  {
    auto mine = TakeDataProfile(base + "/data", base + "/cache", "kqv", kNoWait);
    EXPECT_EQ(mine.data, base + "/data/kqv");
    EXPECT_EQ(mine.cache, base + "/cache/kqv");
    // A second copy beside it gets the next one, made for it.
    auto second = TakeDataProfile(base + "/data", base + "/cache", "kqv", kNoWait);
    EXPECT_EQ(second.data, base + "/data/kqv-2");
    EXPECT_EQ(second.cache, base + "/cache/kqv-2");
    EXPECT_GE(second.lock, 0);
    // A third finds both taken.
    auto third = TakeDataProfile(base + "/data", base + "/cache", "kqv", kNoWait);
    EXPECT_EQ(third.data, base + "/data/kqv-3");
    // The second ends; the next second copy finds its folder again.
    close(second.lock);
    auto again = TakeDataProfile(base + "/data", base + "/cache", "kqv", kNoWait);
    EXPECT_EQ(again.data, base + "/data/kqv-2");
    for (int fd : {mine.lock, third.lock, again.lock}) close(fd);
  }
  // A copy that ends while the next waits leaves it the first profile.
  const int ending = hold("kqv");
  std::thread end([ending] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    close(ending);
  });
  auto next = TakeDataProfile(base + "/data", base + "/cache", "kqv", std::chrono::seconds(5));
  end.join();
  EXPECT_EQ(next.data, base + "/data/kqv");
  close(next.lock);
}

}  // namespace
}  // namespace kqvtest
