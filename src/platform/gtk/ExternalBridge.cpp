#include "platform/gtk/ExternalBridge.h"

#include <algorithm>
#include <map>

#include "platform/gtk/ExternalProtocol.h"
#include "platform/gtk/GtkBrowser.h"
#include "platform/gtk/StartUpTrace.h"
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

// A request that waits for its place to come through the engine's channel.
struct Waiting {
  guint64 process = 0;
  guint64 sequence = 0;
  GDBusMethodInvocation* invocation = nullptr;  // owned
};

// The requests' order (see ExternalProtocol.h): for each web process, the
// last place that has come through the engine's channel, and the requests
// whose place has not come yet. Requests of one process come in the order of
// their places on both channels.
struct Order {
  std::map<guint64, guint64> caughtUp;
  std::vector<Waiting> waiting;
  std::map<GDBusConnection*, std::vector<guint64>> processesOf;  // to forget them when it closes
};

Order& TheOrder() {
  static Order order;
  return order;
}

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
    guint64 page = 0, process = 0, sequence = 0;
    const gchar* title = nullptr;
    g_variant_get(parameters, "(ttt&s)", &page, &process, &sequence, &title);
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
    guint64 page = 0, process = 0, sequence = 0;
    const gchar* name = nullptr;
    GVariantIter* list = nullptr;
    g_variant_get(parameters, "(ttt&sas)", &page, &process, &sequence, &name, &list);
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

// Served from the main loop, never inside the engine's signal or GDBus's
// dispatch: the method may run a modal loop and end the browser.
void ServeSoon(GDBusMethodInvocation* invocation) { g_idle_add_full(G_PRIORITY_DEFAULT, Serve, invocation, nullptr); }

// The request's place in its process's order: (process, sequence).
std::pair<guint64, guint64> PlaceOf(GDBusMethodInvocation* invocation) {
  GVariant* parameters = g_dbus_method_invocation_get_parameters(invocation);
  guint64 process = 0, sequence = 0;
  if (g_variant_n_children(parameters) >= 3) {
    g_variant_get_child(parameters, 1, "t", &process);
    g_variant_get_child(parameters, 2, "t", &sequence);
  }
  return {process, sequence};
}

void OnMethodCall(GDBusConnection* connection, const gchar*, const gchar*, const gchar*, const gchar*, GVariant*,
                  GDBusMethodInvocation* invocation, gpointer) {
  // A script of a new document may ask before the client has handled the
  // document's commit, which travels on the engine's channel: the request
  // waits until its place has come through there. Holding the invocation
  // keeps its reference.
  Order& order = TheOrder();
  const auto [process, sequence] = PlaceOf(invocation);
  auto& processes = order.processesOf[connection];
  if (std::find(processes.begin(), processes.end(), process) == processes.end()) processes.push_back(process);
  const auto known = order.caughtUp.find(process);
  if (known != order.caughtUp.end() && known->second >= sequence) {
    ServeSoon(invocation);
    return;
  }
  order.waiting.push_back({process, sequence, invocation});
}

// A place has come through the engine's channel: every request of that
// process up to it may be served, in order.
gboolean OnCaughtUp(WebKitWebContext*, WebKitUserMessage* message, gpointer) {
  if (g_strcmp0(webkit_user_message_get_name(message), ext::kCaughtUpMessage) != 0) return FALSE;
  GVariant* parameters = webkit_user_message_get_parameters(message);
  if (!parameters || !g_variant_is_of_type(parameters, G_VARIANT_TYPE("(tt)"))) return TRUE;
  guint64 process = 0, sequence = 0;
  g_variant_get(parameters, "(tt)", &process, &sequence);
  Order& order = TheOrder();
  guint64& caughtUp = order.caughtUp[process];
  caughtUp = std::max(caughtUp, sequence);
  std::vector<Waiting> ready;
  std::erase_if(order.waiting, [&](const Waiting& waiting) {
    if (waiting.process != process || waiting.sequence > caughtUp) return false;
    ready.push_back(waiting);
    return true;
  });
  std::sort(ready.begin(), ready.end(), [](const Waiting& a, const Waiting& b) { return a.sequence < b.sequence; });
  for (const Waiting& waiting : ready) ServeSoon(waiting.invocation);
  return TRUE;
}

const GDBusInterfaceVTable kVTable = {OnMethodCall, nullptr, nullptr, {}};

void OnClosed(GDBusConnection* connection, gboolean, GError*, gpointer) {
  // The web process has gone: its waiting requests have no one to answer,
  // and its places come no more.
  Order& order = TheOrder();
  std::erase_if(order.waiting, [&](const Waiting& waiting) {
    if (g_dbus_method_invocation_get_connection(waiting.invocation) != connection) return false;
    g_dbus_method_invocation_return_dbus_error(waiting.invocation, "org.freedesktop.DBus.Error.NoReply", "closed");
    return true;
  });
  if (auto found = order.processesOf.find(connection); found != order.processesOf.end()) {
    for (guint64 process : found->second) order.caughtUp.erase(process);
    order.processesOf.erase(found);
  }
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
  TraceStartUp("web-process-spawn");
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
  g_signal_connect(context, "user-message-received", G_CALLBACK(OnCaughtUp), nullptr);
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
