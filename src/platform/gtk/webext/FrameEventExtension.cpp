// The extension's half of the frame events (see FrameEventProtocol.h): the
// world the client's event scripts run in, and the function they report with.
#include "platform/gtk/webext/FrameEventExtension.h"

#include "platform/gtk/FrameEventProtocol.h"

namespace {

namespace events = ui::gtk::frame_events;

WebKitWebExtension* g_extension = nullptr;

gchar* TextOf(JSCValue* value) {
  return value && jsc_value_is_string(value) ? jsc_value_to_string(value) : g_strdup("");
}

// report(kind, text), called by the client's scripts in their world.
void Report(GPtrArray* args, gpointer data) {
  if (args->len < 2) return;
  WebKitWebPage* page = webkit_web_extension_get_page(g_extension, *static_cast<guint64*>(data));
  if (!page) return;
  gchar* kind = TextOf(JSC_VALUE(args->pdata[0]));
  gchar* text = TextOf(JSC_VALUE(args->pdata[1]));
  // A lone surrogate the script did not mend would not survive the message.
  gchar* valid = g_utf8_make_valid(text, -1);
  webkit_web_page_send_message_to_view(
      page, webkit_user_message_new(events::kMessage, g_variant_new("(ss)", kind, valid)), nullptr, nullptr, nullptr);
  g_free(valid);
  g_free(text);
  g_free(kind);
}

// Each document of each frame gets the function as its window object is
// made in the world, before the client's scripts for the document run.
void OnWindowObjectCleared(WebKitScriptWorld* world, WebKitWebPage* page, WebKitFrame* frame, gpointer) {
  JSCContext* context = webkit_frame_get_js_context_for_script_world(frame, world);
  const guint64 pageId = webkit_web_page_get_id(page);
  JSCValue* report = jsc_value_new_function_variadic(context, events::kReportFunction, G_CALLBACK(Report),
                                                     g_memdup2(&pageId, sizeof pageId), g_free, G_TYPE_NONE);
  jsc_context_set_value(context, events::kReportFunction, report);
  g_object_unref(report);
  g_object_unref(context);
}

}  // namespace

void StartFrameEvents(WebKitWebExtension* extension) {
  g_extension = extension;
  // Made once and kept: the client's scripts find the world by its name.
  WebKitScriptWorld* world = webkit_script_world_new_with_name(events::kWorld);
  g_signal_connect(world, "window-object-cleared", G_CALLBACK(OnWindowObjectCleared), nullptr);
}
