// The client's web-process extension: gives every frame's document a
// window.external whose methods run in the client and answer the calling
// script synchronously. WebKit's own messages to the client are
// asynchronous, so calls go over a private D-Bus connection to the client
// (its address comes as the extension's initialisation data), on which the
// web process can wait. It also starts the frame events' world
// (FrameEventExtension.cpp).
#include <webkit2/webkit-web-extension.h>

#include <map>
#include <string>
#include <utility>

#include "platform/gtk/ExternalProtocol.h"
#include "platform/gtk/StartUpTrace.h"
#include "platform/gtk/webext/FrameEventExtension.h"

namespace {

namespace ext = ui::gtk::external;

std::string g_address;
WebKitWebExtension* g_extension = nullptr;
WebKitScriptWorld* g_ownWorld = nullptr;  // reads the page's title out of its scripts' reach
GDBusConnection* g_connection = nullptr;
// The newest generation of host choices each page has heard of.
std::map<guint64, guint32> g_generations;
// This process's place in the order of its requests (see ExternalProtocol.h).
guint64 g_process = 0;
guint64 g_sequence = 0;

// Calls wait as long as the client's method takes: a method may show a
// message box and wait for the player, as a script's call does on Windows.
// A client that has gone closes the connection, which ends the wait.
constexpr int kNoTimeout = G_MAXINT;

GDBusConnection* Connection() {
  if (g_connection && !g_dbus_connection_is_closed(g_connection)) return g_connection;
  g_clear_object(&g_connection);
  if (g_address.empty()) return nullptr;
  GError* error = nullptr;
  g_connection = g_dbus_connection_new_for_address_sync(
      g_address.c_str(), G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT, nullptr, nullptr, &error);
  if (!g_connection) {
    // The client is not there to answer, and will not come back.
    g_message("window.external: no connection to the client: %s", error->message);
    g_error_free(error);
    g_address.clear();
  }
  return g_connection;
}

// D-Bus takes only valid UTF-8.
gchar* ValidText(const char* text) { return g_utf8_make_valid(text ? text : "", -1); }

// A text the page's script has made well-formed (see kDefineExternal).
gchar* ArgumentText(JSCValue* value) {
  if (!value || !jsc_value_is_string(value)) return g_strdup("");
  gchar* text = jsc_value_to_string(value);
  gchar* valid = ValidText(text);
  g_free(text);
  return valid;
}

// Tells the client, through the engine's own channel, that the request about
// to go has this place: it is served once the message has come through, and
// with it everything this process sent the engine before (a document's
// commit comes before its scripts run).
std::pair<guint64, guint64> SendPlace() {
  const guint64 sequence = ++g_sequence;
  webkit_web_extension_send_message_to_context(
      g_extension, webkit_user_message_new(ext::kCaughtUpMessage, g_variant_new("(tt)", g_process, sequence)), nullptr,
      nullptr, nullptr);
  return {g_process, sequence};
}

guint64 PageOf(gpointer data) { return *static_cast<guint64*>(data); }

// The title the page's top document has so far.
gchar* TopTitle(guint64 pageId) {
  WebKitWebPage* page = webkit_web_extension_get_page(g_extension, pageId);
  WebKitFrame* top = page ? webkit_web_page_get_main_frame(page) : nullptr;
  if (!top) return g_strdup("");
  JSCContext* context = webkit_frame_get_js_context_for_script_world(top, g_ownWorld);
  const std::string script = std::string("(") + ext::kWellFormedFunction + ")(String(document.title))";
  JSCValue* title = jsc_context_evaluate(context, script.c_str(), -1);
  gchar* text = title && jsc_value_is_string(title) ? jsc_value_to_string(title) : nullptr;
  if (title) g_object_unref(title);
  if (jsc_context_get_exception(context)) jsc_context_clear_exception(context);
  g_object_unref(context);
  gchar* valid = ValidText(text);
  g_free(text);
  return valid;
}

// methods(generation): null while the object built for `generation` still
// holds; otherwise [generation, name...] for the object to build now.
JSCValue* Methods(GPtrArray* args, gpointer data) {
  JSCContext* context = jsc_context_get_current();
  const guint64 page = PageOf(data);
  const guint32 built = args->len > 0 ? static_cast<guint32>(jsc_value_to_int32(JSC_VALUE(args->pdata[0]))) : 0;
  if (built != 0 && built >= g_generations[page]) return jsc_value_new_null(context);

  GPtrArray* answer = g_ptr_array_new_with_free_func(g_object_unref);
  guint32 generation = 0;  // nothing built: asked again at the next read
  GVariant* reply = nullptr;
  if (GDBusConnection* connection = Connection()) {
    gchar* title = TopTitle(page);
    const auto [process, sequence] = SendPlace();
    reply = g_dbus_connection_call_sync(connection, nullptr, ext::kObjectPath, ext::kInterface, ext::kMethodsCall,
                                        g_variant_new("(ttts)", page, process, sequence, title),
                                        G_VARIANT_TYPE("(uas)"), G_DBUS_CALL_FLAGS_NONE, kNoTimeout, nullptr, nullptr);
    g_free(title);
  }
  GVariantIter* names = nullptr;
  if (reply) g_variant_get(reply, "(uas)", &generation, &names);
  g_ptr_array_add(answer, jsc_value_new_number(context, generation));
  if (names) {
    const gchar* name = nullptr;
    while (g_variant_iter_next(names, "&s", &name)) g_ptr_array_add(answer, jsc_value_new_string(context, name));
    g_variant_iter_free(names);
  }
  if (reply) g_variant_unref(reply);
  if (generation > g_generations[page]) g_generations[page] = generation;
  JSCValue* array = jsc_value_new_array_from_garray(context, answer);
  g_ptr_array_unref(answer);
  return array;
}

// invoke(name, texts): the host's answer, or "" when there is none.
gchar* Invoke(GPtrArray* args, gpointer data) {
  if (args->len < 2) return g_strdup("");
  gchar* name = ArgumentText(JSC_VALUE(args->pdata[0]));
  JSCValue* list = JSC_VALUE(args->pdata[1]);
  GVariantBuilder texts;
  g_variant_builder_init(&texts, G_VARIANT_TYPE("as"));
  JSCValue* length = jsc_value_object_get_property(list, "length");
  const int count = jsc_value_to_int32(length);
  g_object_unref(length);
  for (int i = 0; i < count; ++i) {
    JSCValue* item = jsc_value_object_get_property_at_index(list, static_cast<guint>(i));
    gchar* text = ArgumentText(item);
    g_variant_builder_add(&texts, "s", text);
    g_free(text);
    g_object_unref(item);
  }
  GDBusConnection* connection = Connection();
  if (!connection) {
    g_variant_builder_clear(&texts);
    g_free(name);
    return g_strdup("");
  }
  const auto [process, sequence] = SendPlace();
  GVariant* call = g_variant_new("(tttsas)", PageOf(data), process, sequence, name, &texts);
  g_free(name);
  GVariant* reply =
      g_dbus_connection_call_sync(connection, nullptr, ext::kObjectPath, ext::kInterface, ext::kCallCall, call,
                                  G_VARIANT_TYPE("(s)"), G_DBUS_CALL_FLAGS_NONE, kNoTimeout, nullptr, nullptr);
  if (!reply) return g_strdup("");
  gchar* answer = nullptr;
  g_variant_get(reply, "(s)", &answer);
  g_variant_unref(reply);
  return answer;
}

// Runs in the page's own world as the document starts, before any of the
// page's scripts: the built-ins it uses are taken now. The object is built
// when a script first reads window.external, and again once the host's
// choices have changed; a page that assigns its own keeps it. Names are
// found whatever their case, as automation finds them on Windows; the exact
// spelling wins. Reading a method runs nothing: only a call does.
// Each argument reaches the host as String(value), except that undefined
// and null (an argument left out) are empty, as a missing argument is to a
// Windows host, and a value whose conversion throws is empty too; lone
// surrogates become U+FFFD.
constexpr const char* kDefineExternal = R"JS((function (methods, invoke, wellFormed) {
  var define = Object.defineProperty, target = window, built = 0, external = {};
  var Proxy_ = Proxy, apply = Reflect.apply, lowerCase = String.prototype.toLowerCase,
      own = Object.prototype.hasOwnProperty, String_ = String;
  var text = function (value) {
    if (value === undefined || value === null) return '';
    var string;
    try {
      string = String_(value);  // may run the page's toString
    } catch (e) {
      return '';
    }
    return wellFormed(string);
  };
  var method = function (name) {
    return function () {
      var texts = [];
      for (var i = 0; i < arguments.length; ++i) {
        define(texts, i, { value: text(arguments[i]), writable: true, enumerable: true, configurable: true });
      }
      return invoke(name, texts);
    };
  };
  var build = function (names) {  // names[0] is the generation
    var object = {}, folded = {};
    for (var i = 1; i < names.length; ++i) {
      object[names[i]] = method(names[i]);
      var key = apply(lowerCase, names[i], []);
      if (!apply(own, folded, [key])) folded[key] = names[i];
    }
    return new Proxy_(object, {
      get: function (object, key) {
        if (typeof key === 'string' && !apply(own, object, [key])) {
          var folding = apply(lowerCase, key, []);
          if (apply(own, folded, [folding])) return object[folded[folding]];
        }
        return object[key];
      }
    });
  };
  define(target, 'external', {
    configurable: true,
    enumerable: true,
    get: function () {
      var answer = methods(built);
      if (answer === null) return external;
      built = answer[0];
      external = build(answer);
      return external;
    },
    set: function (value) {
      define(target, 'external', { value: value, writable: true, configurable: true, enumerable: true });
    }
  });
}))JS";

void OnWindowObjectCleared(WebKitScriptWorld* world, WebKitWebPage* page, WebKitFrame* frame, gpointer) {
  JSCContext* context = webkit_frame_get_js_context_for_script_world(frame, world);
  const guint64 pageId = webkit_web_page_get_id(page);
  // The natives hold no script value, so nothing here keeps a document alive.
  JSCValue* methods = jsc_value_new_function_variadic(context, "methods", G_CALLBACK(Methods),
                                                      g_memdup2(&pageId, sizeof pageId), g_free, JSC_TYPE_VALUE);
  JSCValue* invoke = jsc_value_new_function_variadic(context, "invoke", G_CALLBACK(Invoke),
                                                     g_memdup2(&pageId, sizeof pageId), g_free, G_TYPE_STRING);
  JSCValue* wellFormed = jsc_context_evaluate(context, ext::kWellFormedFunction, -1);
  JSCValue* define = jsc_context_evaluate(context, kDefineExternal, -1);
  if (define && jsc_value_is_function(define) && wellFormed && jsc_value_is_function(wellFormed)) {
    JSCValue* result = jsc_value_function_call(define, JSC_TYPE_VALUE, methods, JSC_TYPE_VALUE, invoke, JSC_TYPE_VALUE,
                                               wellFormed, G_TYPE_NONE);
    if (result) g_object_unref(result);
  }
  if (jsc_context_get_exception(context)) jsc_context_clear_exception(context);
  if (define) g_object_unref(define);
  if (wellFormed) g_object_unref(wellFormed);
  g_object_unref(invoke);
  g_object_unref(methods);
  g_object_unref(context);
}

gboolean OnUserMessage(WebKitWebPage* page, WebKitUserMessage* message, gpointer) {
  if (g_strcmp0(webkit_user_message_get_name(message), ext::kChangedMessage) != 0) return FALSE;
  GVariant* parameters = webkit_user_message_get_parameters(message);
  if (parameters && g_variant_is_of_type(parameters, G_VARIANT_TYPE_UINT32)) {
    const guint32 generation = g_variant_get_uint32(parameters);
    guint32& known = g_generations[webkit_web_page_get_id(page)];
    if (generation > known) known = generation;
  }
  return TRUE;
}

gboolean OnSendRequestTrace(WebKitWebPage*, WebKitURIRequest*, WebKitURIResponse*, gpointer) {
  ui::gtk::TraceStartUp("web-page-request");
  return FALSE;
}

void OnPageCreated(WebKitWebExtension*, WebKitWebPage* page, gpointer) {
  ui::gtk::TraceStartUp("web-page-created");
  if (ui::gtk::StartUpTraceWanted()) g_signal_connect(page, "send-request", G_CALLBACK(OnSendRequestTrace), nullptr);
  g_signal_connect(page, "user-message-received", G_CALLBACK(OnUserMessage), nullptr);
}

}  // namespace

extern "C" G_MODULE_EXPORT void webkit_web_extension_initialize_with_user_data(WebKitWebExtension* extension,
                                                                               const GVariant* data) {
  ui::gtk::TraceStartUp("web-process-up");
  g_extension = extension;
  g_process = (static_cast<guint64>(g_random_int()) << 32) | g_random_int();
  g_ownWorld = webkit_script_world_new();
  auto* variant = const_cast<GVariant*>(data);
  if (variant && g_variant_is_of_type(variant, G_VARIANT_TYPE_STRING))
    g_address = g_variant_get_string(variant, nullptr);
  g_signal_connect(webkit_script_world_get_default(), "window-object-cleared", G_CALLBACK(OnWindowObjectCleared),
                   nullptr);
  g_signal_connect(extension, "page-created", G_CALLBACK(OnPageCreated), nullptr);
  StartFrameEvents(extension);
}
