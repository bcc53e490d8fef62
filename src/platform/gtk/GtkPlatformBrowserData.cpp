#include "platform/gtk/GtkPlatform.h"

#include "platform/gtk/DataProfile.h"
#include "platform/gtk/ExternalBridge.h"
#include "platform/gtk/GtkWindowPeer.h"
#include "platform/gtk/WebProcessGuard.h"

// The browser's data: the one web context, its data and cache folders, and
// the cleaning of its caches.

namespace ui::gtk {

namespace {
// How long a copy waits for the profile of a copy that is ending: a restart
// starts the fresh copy just before the old one ends.
constexpr auto kProfileWait = std::chrono::seconds(3);
// How long a web process is kept for a browser that does not come.
constexpr guint kKeeperWaitMs = 5000;
}  // namespace

WebKitWebsiteDataManager* GtkPlatform::WebsiteData() {
  if (!m_websiteData) {
    // Our own directories, so that cleaning the cache never touches another
    // program's data; one copy of the client at a time in each.
    m_profile = TakeDataProfile(g_get_user_data_dir(), g_get_user_cache_dir(), "kqvclient", kProfileWait);
    const char* data = m_profile.data.c_str();
    const char* cache = m_profile.cache.c_str();
    m_websiteData =
        webkit_website_data_manager_new("base-data-directory", data, "base-cache-directory", cache, nullptr);
    g_mkdir_with_parents(data, 0700);
    gchar* cookies = g_build_filename(data, "cookies.sqlite", nullptr);
    WebKitCookieManager* cookieManager = webkit_website_data_manager_get_cookie_manager(m_websiteData);
    webkit_cookie_manager_set_persistent_storage(cookieManager, cookies, WEBKIT_COOKIE_PERSISTENT_STORAGE_SQLITE);
    // Logins hop between the platform's and the game's hosts inside frames.
    webkit_cookie_manager_set_accept_policy(cookieManager, WEBKIT_COOKIE_POLICY_ACCEPT_ALWAYS);
    g_free(cookies);
  }
  return m_websiteData;
}

WebKitWebContext* GtkPlatform::WebContext() {
  if (!m_webContext) {
    // The memory bound is fixed when the context is made.
    WebKitMemoryPressureSettings* memory = NewWebProcessMemorySettings();
    m_webContext = WEBKIT_WEB_CONTEXT(g_object_new(WEBKIT_TYPE_WEB_CONTEXT, "website-data-manager", WebsiteData(),
                                                   "memory-pressure-settings", memory, nullptr));
    webkit_memory_pressure_settings_free(memory);
    webkit_web_context_set_cache_model(m_webContext, WEBKIT_CACHE_MODEL_WEB_BROWSER);
    // Page scripts call window.external through a web-process extension.
    external_bridge::Attach(m_webContext);
  }
  return m_webContext;
}

void GtkPlatform::KeepWebProcess(WebKitWebView* going) {
  if (m_keeper || !going) return;
  // Made before the view goes, so that its process never runs empty.
  m_keeper = WEBKIT_WEB_VIEW(g_object_new(WEBKIT_TYPE_WEB_VIEW, "related-view", going, nullptr));
  g_object_ref_sink(m_keeper);
  m_keeperTaken = false;
  // Never shown: nothing of it is drawn.
  webkit_settings_set_hardware_acceleration_policy(webkit_web_view_get_settings(m_keeper),
                                                   WEBKIT_HARDWARE_ACCELERATION_POLICY_NEVER);
  // Its page in the web process is what keeps the process.
  webkit_web_view_load_uri(m_keeper, "about:blank");
  // Kept for a browser made next, not for ever.
  m_keeperTimer = g_timeout_add(
      kKeeperWaitMs,
      [](gpointer self) {
        auto* platform = static_cast<GtkPlatform*>(self);
        platform->m_keeperTimer = 0;  // taking the keeper ends the timer
        platform->DropWebProcessKeeper();
        return G_SOURCE_REMOVE;
      },
      this);
}

WebKitWebView* GtkPlatform::TakeWebProcessKeeper() {
  if (m_keeperTaken || !m_keeper) return nullptr;
  m_keeperTaken = true;
  if (m_keeperTimer) g_source_remove(m_keeperTimer);
  m_keeperTimer = 0;
  return m_keeper;
}

void GtkPlatform::DropWebProcessKeeper() {
  if (m_keeperTimer) g_source_remove(m_keeperTimer);
  m_keeperTimer = 0;
  if (!m_keeper) return;
  WebKitWebView* keeper = m_keeper;
  m_keeper = nullptr;
  gtk_widget_destroy(GTK_WIDGET(keeper));
  g_object_unref(keeper);
}

namespace {
struct ClearWait {
  GMainLoop* loop;
  bool done = false;
  bool abandoned = false;
  guint bound = 0;  // the bound's timer while it has not run
};

void HoldCloses(GdkEvent* event, gpointer) {
  if (event->type == GDK_DELETE && event->any.window) {
    gpointer widget = nullptr;
    gdk_window_get_user_data(event->any.window, &widget);
    if (GtkWindowPeer* peer = GtkWindowPeer::OfWidget(static_cast<GtkWidget*>(widget))) {
      peer->HoldClose();
      return;
    }
  }
  gtk_main_do_event(event);
}
}  // namespace

bool GtkPlatform::CleanBrowserCache() {
  // The HTTP caches, and the cache storage and service workers a game may
  // keep its files in. Cookies, local storage and IndexedDB stay: the
  // player remains logged in and keeps the settings pages store there.
  auto* wait = new ClearWait{g_main_loop_new(nullptr, FALSE)};
  webkit_website_data_manager_clear(
      WebsiteData(),
      static_cast<WebKitWebsiteDataTypes>(WEBKIT_WEBSITE_DATA_DISK_CACHE | WEBKIT_WEBSITE_DATA_MEMORY_CACHE |
                                          WEBKIT_WEBSITE_DATA_DOM_CACHE |
                                          WEBKIT_WEBSITE_DATA_SERVICE_WORKER_REGISTRATIONS),
      0, nullptr,
      [](GObject* source, GAsyncResult* result, gpointer data) {
        auto* w = static_cast<ClearWait*>(data);
        webkit_website_data_manager_clear_finish(WEBKIT_WEBSITE_DATA_MANAGER(source), result, nullptr);
        if (w->abandoned) {
          g_main_loop_unref(w->loop);
          delete w;
          return;
        }
        w->done = true;
        g_main_loop_quit(w->loop);
      },
      wait);
  // The caller reports the cache gone when this returns, but the data manager
  // finishes asynchronously: wait for it with the windows still served, and
  // with a bound in case the network process never answers.
  wait->bound = g_timeout_add(
      static_cast<guint>(m_cleaningBound.count()),
      [](gpointer data) {
        auto* w = static_cast<ClearWait*>(data);
        w->bound = 0;
        g_main_loop_quit(w->loop);
        return G_SOURCE_REMOVE;
      },
      wait);
  // The windows keep drawing but take no input meanwhile, as a window busy
  // in its handler would: a grab on a widget nobody sees swallows it.
  GtkWidget* blocker = gtk_invisible_new();
  gtk_widget_show(blocker);
  gtk_grab_add(blocker);
  // The grab would drop a window manager's close; it is held instead, and
  // handled once cleaning (its box included) is done.
  m_holdingCloses = true;
  gdk_event_handler_set(HoldCloses, nullptr, nullptr);
  g_main_loop_run(wait->loop);
  gdk_event_handler_set([](GdkEvent* event, gpointer) { gtk_main_do_event(event); }, nullptr, nullptr);
  m_holdingCloses = false;
  gtk_grab_remove(blocker);
  gtk_widget_destroy(blocker);
  // The bound and the answer can both come before the loop returns (a
  // handler running a loop of its own meanwhile): its timer is gone then.
  if (wait->bound) g_source_remove(wait->bound);
  wait->bound = 0;
  if (wait->done) {
    g_main_loop_unref(wait->loop);
    delete wait;
  } else {
    wait->abandoned = true;  // the late answer frees it
  }
  return true;
}

}  // namespace ui::gtk
