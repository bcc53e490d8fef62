// The session bus search skipped where it can only fail.
#include <gio/gio.h>
#include <unistd.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "platform/gtk/SessionBus.h"

namespace kqvtest {
namespace {

namespace fs = std::filesystem;

// Sets an environment variable for one test and puts the old value back.
class EnvSetting {
 public:
  EnvSetting(const char* name, std::optional<std::string> value) : m_name(name) {
    if (const char* old = g_getenv(name)) m_old = old;
    if (value)
      g_setenv(name, value->c_str(), TRUE);
    else
      g_unsetenv(name);
  }
  ~EnvSetting() {
    if (m_old)
      g_setenv(m_name, m_old->c_str(), TRUE);
    else
      g_unsetenv(m_name);
  }
  EnvSetting(const EnvSetting&) = delete;
  EnvSetting& operator=(const EnvSetting&) = delete;

 private:
  const char* m_name;
  std::optional<std::string> m_old;
};

class SessionBusTest : public testing::Test {
 protected:
  void SetUp() override {
    m_root = fs::temp_directory_path() / ("kqv-session-bus-" + std::to_string(::getpid()));
    fs::remove_all(m_root);
    fs::create_directories(m_root / "run");
    fs::create_directories(m_root / "bin");
  }
  void TearDown() override { fs::remove_all(m_root); }
  fs::path m_root;
};

TEST_F(SessionBusTest, FindableWhenAnyWayToTheBusExists) {
  std::ofstream(m_root / "run" / "bus").put('x');
  const std::string socket = (m_root / "run" / "bus").string();
  const std::string noSocket = (m_root / "run" / "none").string();
  struct Case {
    const char* address;
    std::string socket;
    bool autolaunch;
    bool findable;
  } cases[] = {
      {"unix:path=/run/user/0/bus", noSocket, false, true},
      {nullptr, socket, false, true},
      {nullptr, noSocket, true, true},
      {"", "", true, true},
      {nullptr, noSocket, false, false},
      {"", "", false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.address ? c.address : "(unset)") + " | " + c.socket + " | " +
                 (c.autolaunch ? "dbus-launch" : "no dbus-launch"));
    EXPECT_EQ(ui::gtk::SessionBusFindable(c.address, c.socket, c.autolaunch), c.findable);
  }
}

TEST_F(SessionBusTest, AHopelessSearchFailsAtOnceWithTheSameAnswer) {
  EnvSetting address("DBUS_SESSION_BUS_ADDRESS", std::nullopt);
  EnvSetting runtime("XDG_RUNTIME_DIR", (m_root / "run").string());
  EnvSetting path("PATH", (m_root / "bin").string());
  ui::gtk::SkipHopelessSessionBusSearch();
  ASSERT_STREQ(g_getenv("DBUS_SESSION_BUS_ADDRESS"), "disabled:");
  // Still no bus, as the search would have ended.
  GError* error = nullptr;
  GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &error);
  EXPECT_EQ(bus, nullptr);
  EXPECT_NE(error, nullptr);
  if (bus) g_object_unref(bus);
  if (error) g_error_free(error);
}

TEST_F(SessionBusTest, ASearchThatCouldSucceedIsLeftAlone) {
  const fs::path launcher = m_root / "bin" / "dbus-launch";
  std::ofstream(launcher) << "#!/bin/sh\nexit 1\n";
  fs::permissions(launcher, fs::perms::owner_all);
  {
    SCOPED_TRACE("dbus-launch on the path");
    EnvSetting address("DBUS_SESSION_BUS_ADDRESS", std::nullopt);
    EnvSetting runtime("XDG_RUNTIME_DIR", (m_root / "run").string());
    EnvSetting path("PATH", (m_root / "bin").string());
    ui::gtk::SkipHopelessSessionBusSearch();
    EXPECT_EQ(g_getenv("DBUS_SESSION_BUS_ADDRESS"), nullptr);
  }
  fs::remove(launcher);
  std::ofstream(m_root / "run" / "bus").put('x');
  {
    SCOPED_TRACE("a bus socket in the runtime folder");
    EnvSetting address("DBUS_SESSION_BUS_ADDRESS", std::nullopt);
    EnvSetting runtime("XDG_RUNTIME_DIR", (m_root / "run").string());
    EnvSetting path("PATH", (m_root / "bin").string());
    ui::gtk::SkipHopelessSessionBusSearch();
    EXPECT_EQ(g_getenv("DBUS_SESSION_BUS_ADDRESS"), nullptr);
  }
  {
    SCOPED_TRACE("an address given");
    EnvSetting address("DBUS_SESSION_BUS_ADDRESS", std::string("unix:path=/nowhere"));
    EnvSetting runtime("XDG_RUNTIME_DIR", std::nullopt);
    EnvSetting path("PATH", (m_root / "bin").string());
    ui::gtk::SkipHopelessSessionBusSearch();
    EXPECT_STREQ(g_getenv("DBUS_SESSION_BUS_ADDRESS"), "unix:path=/nowhere");
  }
}

}  // namespace
}  // namespace kqvtest
