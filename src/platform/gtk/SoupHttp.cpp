#include "platform/gtk/SoupHttp.h"

#include <libsoup/soup.h>

#include <cstdint>
#include <cstdlib>
#include <string_view>

namespace ui::gtk {
namespace {

constexpr int kMaxRedirects = 10;

// One GET, driven by callbacks on a main context of its own.
struct Transfer {
  SoupSession* session = nullptr;
  GCancellable* cancellable = nullptr;
  const HttpLimits* limits = nullptr;
  bool readBody = false;
  std::string userAgent;

  GUri* target = nullptr;
  SoupMessage* message = nullptr;
  GInputStream* stream = nullptr;
  GSource* connectTimer = nullptr;
  int redirects = 0;
  HttpBodyText body{0};  // the last hop's; redirect bodies are never read
  bool done = false;
  bool ok = false;
  char buffer[16 * 1024];
};

void Send(Transfer& t);

void Finish(Transfer& t, bool ok) {
  t.done = true;
  t.ok = ok;
}

GSource* AddTimer(std::chrono::milliseconds delay, GCancellable* cancellable) {
  GSource* source = g_timeout_source_new(static_cast<guint>(delay.count()));
  g_source_set_callback(
      source,
      [](gpointer c) {
        g_cancellable_cancel(static_cast<GCancellable*>(c));
        return G_SOURCE_REMOVE;
      },
      cancellable, nullptr);
  g_source_attach(source, g_main_context_get_thread_default());
  return source;
}

void StopConnectTimer(Transfer& t) {
  if (!t.connectTimer) return;
  g_source_destroy(t.connectTimer);
  g_source_unref(t.connectTimer);
  t.connectTimer = nullptr;
}

void OnRead(GObject* source, GAsyncResult* result, gpointer data) {
  auto& t = *static_cast<Transfer*>(data);
  const gssize n = g_input_stream_read_finish(G_INPUT_STREAM(source), result, nullptr);
  if (n < 0) return Finish(t, false);
  if (n == 0) return Finish(t, true);
  if (!t.body.Append(t.buffer, static_cast<std::size_t>(n))) return Finish(t, false);
  g_input_stream_read_async(t.stream, t.buffer, sizeof t.buffer, G_PRIORITY_DEFAULT, t.cancellable, OnRead, &t);
}

bool IsHttp(GUri* uri) {
  const char* scheme = g_uri_get_scheme(uri);
  const char* host = g_uri_get_host(uri);
  return scheme && host && *host &&
         (g_ascii_strcasecmp(scheme, "http") == 0 || g_ascii_strcasecmp(scheme, "https") == 0);
}

void OnSent(GObject* source, GAsyncResult* result, gpointer data) {
  auto& t = *static_cast<Transfer*>(data);
  t.stream = soup_session_send_finish(SOUP_SESSION(source), result, nullptr);
  StopConnectTimer(t);
  if (!t.stream) return Finish(t, false);

  // Redirects are followed here rather than by the session, so that their
  // number and schemes stay bounded; a redirect's own body is never read.
  const guint status = soup_message_get_status(t.message);
  const char* location = soup_message_headers_get_one(soup_message_get_response_headers(t.message), "Location");
  if (status >= 300 && status < 400 && status != 304 && location) {
    GUri* next = g_uri_parse_relative(t.target, location, G_URI_FLAGS_ENCODED, nullptr);
    g_clear_object(&t.stream);
    if (!next || !IsHttp(next) || ++t.redirects > kMaxRedirects) {
      if (next) g_uri_unref(next);
      return Finish(t, false);
    }
    g_uri_unref(t.target);
    t.target = next;
    return Send(t);
  }
  // Without readBody the answer's headers are all that is awaited: the body
  // stays unread, however long it would take.
  if (!t.readBody) return Finish(t, true);
  SoupMessageHeaders* headers = soup_message_get_response_headers(t.message);
  if (soup_message_headers_get_encoding(headers) == SOUP_ENCODING_CONTENT_LENGTH &&
      t.body.OverCap(static_cast<std::uint64_t>(soup_message_headers_get_content_length(headers)))) {
    return Finish(t, false);  // refused before a byte of it is read
  }
  g_input_stream_read_async(t.stream, t.buffer, sizeof t.buffer, G_PRIORITY_DEFAULT, t.cancellable, OnRead, &t);
}

void OnNetworkEvent(SoupMessage*, GSocketClientEvent event, GIOStream*, gpointer data) {
  // The connection, TLS included, is ready: only the whole-request bound
  // applies from here on.
  if (event == G_SOCKET_CLIENT_COMPLETE) StopConnectTimer(*static_cast<Transfer*>(data));
}

void OnWroteHeaders(SoupMessage*, gpointer data) {
  StopConnectTimer(*static_cast<Transfer*>(data));  // a reused connection reports no set-up
}

void Send(Transfer& t) {
  if (t.message) {
    g_signal_handlers_disconnect_by_data(t.message, &t);
    g_object_unref(t.message);
  }
  t.message = soup_message_new_from_uri(SOUP_METHOD_GET, t.target);
  if (!t.message) return Finish(t, false);
  soup_message_add_flags(t.message, SOUP_MESSAGE_NO_REDIRECT);
  if (!t.userAgent.empty()) {
    soup_message_headers_replace(soup_message_get_request_headers(t.message), "User-Agent", t.userAgent.c_str());
  }
  g_signal_connect(t.message, "network-event", G_CALLBACK(OnNetworkEvent), &t);
  g_signal_connect(t.message, "wrote-headers", G_CALLBACK(OnWroteHeaders), &t);
  StopConnectTimer(t);
  t.connectTimer = AddTimer(t.limits->connectTimeout, t.cancellable);
  soup_session_send_async(t.session, t.message, G_PRIORITY_DEFAULT, t.cancellable, OnSent, &t);
}

const char* Environment(const char* lower, const char* upper) {
  const char* value = std::getenv(lower);
  if ((!value || !*value) && upper) value = std::getenv(upper);
  return value && *value ? value : nullptr;
}

std::string WithScheme(const char* proxy) {
  const std::string text = proxy;
  return text.find("://") == std::string::npos ? "http://" + text : text;
}

// The proxies the environment names, as command-line HTTP tools read them
// (the lower-case http_proxy only: the upper-case one may be set by a CGI
// request's header). None without such variables, or when no_proxy is "*".
GProxyResolver* EnvironmentProxies() {
  const char* http = Environment("http_proxy", nullptr);
  const char* https = Environment("https_proxy", "HTTPS_PROXY");
  const char* all = Environment("all_proxy", "ALL_PROXY");
  const char* none = Environment("no_proxy", "NO_PROXY");
  if (!http && !https && !all) return nullptr;
  if (none && std::string_view(none) == "*") return nullptr;
  gchar** ignore = none ? g_strsplit(none, ",", -1) : nullptr;
  for (gchar** host = ignore; host && *host; ++host) g_strstrip(*host);
  GProxyResolver* resolver = g_simple_proxy_resolver_new(all ? WithScheme(all).c_str() : nullptr, ignore);
  g_strfreev(ignore);
  if (http) g_simple_proxy_resolver_set_uri_proxy(G_SIMPLE_PROXY_RESOLVER(resolver), "http", WithScheme(http).c_str());
  if (https) {
    g_simple_proxy_resolver_set_uri_proxy(G_SIMPLE_PROXY_RESOLVER(resolver), "https", WithScheme(https).c_str());
  }
  return resolver;
}

}  // namespace

std::string SoupHttpGet(const std::string& url, bool readBody, const std::string& userAgent, const HttpLimits& limits) {
  // The address goes out as the caller wrote it. A space cannot stand in an
  // HTTP request line, so it is the one byte sent escaped, as %20. An address
  // without a scheme is refused rather than guessed.
  std::string wire;
  wire.reserve(url.size());
  for (char ch : url) {
    if (ch == ' ')
      wire += "%20";
    else
      wire.push_back(ch);
  }
  GUri* target = g_uri_parse(wire.c_str(), G_URI_FLAGS_ENCODED, nullptr);
  if (!target) return {};
  if (!IsHttp(target)) {
    g_uri_unref(target);
    return {};
  }

  GMainContext* context = g_main_context_new();
  g_main_context_push_thread_default(context);
  GProxyResolver* proxies = EnvironmentProxies();
  SoupSession* session = soup_session_new_with_options("proxy-resolver", proxies, "max-conns-per-host", 1, nullptr);
  if (proxies) g_object_unref(proxies);
  // The body's bytes as they were sent: no compression is asked for.
  soup_session_remove_feature_by_type(session, SOUP_TYPE_CONTENT_DECODER);

  Transfer t;
  t.session = session;
  t.cancellable = g_cancellable_new();
  t.limits = &limits;
  t.body = HttpBodyText(limits.maxBodyBytes);
  t.readBody = readBody;
  t.userAgent = userAgent;
  t.target = target;
  GSource* totalTimer = AddTimer(limits.totalTimeout, t.cancellable);
  Send(t);
  while (!t.done) g_main_context_iteration(context, TRUE);

  g_source_destroy(totalTimer);
  g_source_unref(totalTimer);
  StopConnectTimer(t);
  // The connection goes first, so that closing an unread body never waits
  // for the rest of it.
  g_cancellable_cancel(t.cancellable);
  soup_session_abort(session);
  g_clear_object(&t.stream);
  if (t.message) {
    g_signal_handlers_disconnect_by_data(t.message, &t);
    g_object_unref(t.message);
  }
  g_object_unref(session);
  g_object_unref(t.cancellable);
  g_uri_unref(t.target);
  while (g_main_context_iteration(context, FALSE)) {
  }
  g_main_context_pop_thread_default(context);
  g_main_context_unref(context);
  if (!readBody || !t.ok) return {};
  return t.body.Take();
}

}  // namespace ui::gtk
