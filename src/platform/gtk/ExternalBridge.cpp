#include "platform/gtk/ExternalBridge.h"

#include <algorithm>

#include "platform/gtk/ExternalProtocol.h"
#include "platform/gtk/GtkBrowser.h"
#include "ui/Platform.h"

namespace ui::gtk::external_bridge {

namespace {

namespace ext = external;

// The server lives as long as the process. Its socket is an abstract one,
// which goes with the process however it ends (a socket file would be left
// behind by a client that is killed); only processes of the same user are
// let in.
struct Server {
  GDBusServer* server = nullptr;
  GDBusNodeInfo* info = nullptr;
  bool tried = false;
  std::string address;
  std::vector<GDBusConnection*> connections;
};

Server& TheServer() {
  static Server server;
  return server;
}

std::vector<GtkBrowser*>& Browsers() {
  static std::vector<GtkBrowser*> browsers;
  return browsers;
}

unsigned g_generation = 1;

GtkBrowser* BrowserOf(guint64 page) {
  for (GtkBrowser* browser : Browsers()) {
    if (browser->ServesPage(page)) return browser;
  }
  return nullptr;
}

GVariant* ValidString(const std::string& text) {
  gchar* valid = g_utf8_make_valid(text.c_str(), static_cast<gssize>(text.size()));
  GVariant* value = g_variant_new_take_string(valid);
  return value;
}

gboolean Serve(gpointer data) {
  auto* invocation = static_cast<GDBusMethodInvocation*>(data);
  const gchar* method = g_dbus_method_invocation_get_method_name(invocation);
  GVariant* parameters = g_dbus_method_invocation_get_parameters(invocation);
  if (g_strcmp0(method, ext::kMethodsCall) == 0) {
    guint64 page = 0;
    const gchar* title = nullptr;
    g_variant_get(parameters, "(t&s)", &page, &title);
    // A page script reads window.external before the page's navigation has
    // been reported: report it first, so that a host installing its methods
    // then has them in the answer. The host may end the browser there.
    if (GtkBrowser* browser = BrowserOf(page)) browser->PageScriptsAsk(title);
    GVariantBuilder names;
    g_variant_builder_init(&names, G_VARIANT_TYPE("as"));
    if (GtkBrowser* browser = BrowserOf(page)) {
      for (const std::string& name : browser->ExternalNames()) g_variant_builder_add_value(&names, ValidString(name));
    }
    g_dbus_method_invocation_return_value(invocation, g_variant_new("(uas)", g_generation, &names));
    return G_SOURCE_REMOVE;
  }
  if (g_strcmp0(method, ext::kCallCall) == 0) {
    guint64 page = 0;
    const gchar* name = nullptr;
    GVariantIter* list = nullptr;
    g_variant_get(parameters, "(t&sas)", &page, &name, &list);
    std::vector<std::string> args;
    const gchar* arg = nullptr;
    while (g_variant_iter_next(list, "&s", &arg)) args.emplace_back(arg);
    g_variant_iter_free(list);
    // The method may run a modal loop, in which further calls are served,
    // and may end the browser.
    std::string answer;
    if (GtkBrowser* browser = BrowserOf(page)) answer = browser->CallExternal(name, args);
    g_dbus_method_invocation_return_value(invocation, g_variant_new("(@s)", ValidString(answer)));
    return G_SOURCE_REMOVE;
  }
  g_dbus_method_invocation_return_dbus_error(invocation, "org.freedesktop.DBus.Error.UnknownMethod", method);
  return G_SOURCE_REMOVE;
}

void OnMethodCall(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*, GVariant*,
                  GDBusMethodInvocation* invocation, gpointer) {
  // Served once the engine's own messages that are already here have been
  // handled: they come at a lower priority than this call, and a script of a
  // new document may ask before the report of the document's commit has
  // been handled. Returning the invocation gives up its reference.
  g_idle_add_full(G_PRIORITY_DEFAULT_IDLE, Serve, invocation, nullptr);
}

const GDBusInterfaceVTable kVTable = {OnMethodCall, nullptr, nullptr, {}};

void OnClosed(GDBusConnection* connection, gboolean, GError*, gpointer) {
  auto& connections = TheServer().connections;
  auto found = std::find(connections.begin(), connections.end(), connection);
  if (found == connections.end()) return;
  connections.erase(found);
  g_object_unref(connection);
}

gboolean OnNewConnection(GDBusServer*, GDBusConnection* connection, gpointer) {
  Server& server = TheServer();
  GError* error = nullptr;
  // Registered from the GUI thread: calls are dispatched on its main context.
  if (!g_dbus_connection_register_object(connection, ext::kObjectPath, server.info->interfaces[0], &kVTable, nullptr,
                                         nullptr, &error)) {
    g_warning("window.external: %s", error->message);
    g_error_free(error);
    return FALSE;
  }
  server.connections.push_back(G_DBUS_CONNECTION(g_object_ref(connection)));
  g_signal_connect(connection, "closed", G_CALLBACK(OnClosed), nullptr);
  return TRUE;
}

// The server's address, started at the first need; empty if it cannot run.
const std::string& Address() {
  Server& server = TheServer();
  if (server.tried) return server.address;
  server.tried = true;
  server.info = g_dbus_node_info_new_for_xml(ext::kIntrospection, nullptr);
  gchar* guid = g_dbus_generate_guid();
  const std::string address = std::string("unix:abstract=kqvclient-external-") + guid;
  GError* error = nullptr;
  server.server = g_dbus_server_new_sync(address.c_str(), G_DBUS_SERVER_FLAGS_AUTHENTICATION_REQUIRE_SAME_USER, guid,
                                         nullptr, nullptr, &error);
  g_free(guid);
  if (!server.server) {
    g_warning("window.external: %s", error->message);
    g_error_free(error);
    return server.address;
  }
  g_signal_connect(server.server, "new-connection", G_CALLBACK(OnNewConnection), nullptr);
  g_dbus_server_start(server.server);
  server.address = g_dbus_server_get_client_address(server.server);
  return server.address;
}

void OnInitializeWebExtensions(WebKitWebContext* context, gpointer) {
  const std::string directory = ExtensionDirectory();
  if (directory.empty()) {
    static bool told = false;
    if (!told) g_warning("window.external: no %s next to the executable", ext::kExtensionFolder);
    told = true;
    return;
  }
  webkit_web_context_set_web_extensions_directory(context, directory.c_str());
  webkit_web_context_set_web_extensions_initialization_user_data(context, g_variant_new_string(Address().c_str()));
}

}  // namespace

void Attach(WebKitWebContext* context) {
  g_signal_connect(context, "initialize-web-extensions", G_CALLBACK(OnInitializeWebExtensions), nullptr);
}

std::string ExtensionDirectory() {
  const std::string module = GetPlatform().ModulePath();
  gchar* folder = g_path_get_dirname(module.c_str());
  gchar* directory = g_build_filename(folder, ext::kExtensionFolder, nullptr);
  gchar* file = g_build_filename(directory, ext::kExtensionFile, nullptr);
  std::string found = g_file_test(file, G_FILE_TEST_IS_REGULAR) ? directory : "";
  g_free(file);
  g_free(directory);
  g_free(folder);
  return found;
}

void Add(GtkBrowser* browser) { Browsers().push_back(browser); }

void Remove(GtkBrowser* browser) { std::erase(Browsers(), browser); }

unsigned NextGeneration() { return ++g_generation; }

}  // namespace ui::gtk::external_bridge
