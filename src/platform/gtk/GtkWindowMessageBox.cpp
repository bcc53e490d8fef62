#include <gdk/gdkkeysyms.h>

#include <algorithm>
#include <string>

#include "platform/gtk/GtkPlatform.h"
#include "platform/gtk/GtkWindowPeer.h"

namespace ui::gtk {

namespace {

// The texts the system shows are Chinese; so are the buttons, whatever the
// desktop's language.
constexpr const char* kYesLabel = "是";
constexpr const char* kNoLabel = "否";
constexpr const char* kOkLabel = "确定";

struct Answer {
  GMainLoop* loop = nullptr;
  bool yesNo = false;
  int response = GTK_RESPONSE_NONE;
  bool destroyed = false;
};

void Finish(Answer& answer, int response) {
  if (answer.response == GTK_RESPONSE_NONE) answer.response = response;
  g_main_loop_quit(answer.loop);
}

// The window manager shortens a caption that does not fit the box's title
// bar ("KQ…nt"). Windows makes a box wide enough for its caption; so does
// this: the caption in the desktop's font made bold, as window managers
// title windows, and room for the title bar's icon, buttons and margins, all
// told in lines of that font. At most three quarters of the screen.
void FitCaption(GtkWidget* box, const std::string& caption) {
  if (caption.empty()) return;
  PangoLayout* layout = gtk_widget_create_pango_layout(box, nullptr);
  PangoFontDescription* bold =
      pango_font_description_copy(pango_context_get_font_description(pango_layout_get_context(layout)));
  pango_font_description_set_weight(bold, PANGO_WEIGHT_BOLD);
  pango_layout_set_font_description(layout, bold);
  pango_font_description_free(bold);
  pango_layout_set_text(layout, caption.c_str(), static_cast<int>(caption.size()));
  int width = 0;
  int height = 0;
  pango_layout_get_pixel_size(layout, &width, &height);
  g_object_unref(layout);
  const int needed = width + 6 * height;
  const int limit = GetPlatform().ScreenSize().cx * 3 / 4;
  gtk_widget_set_size_request(box, std::min(needed, limit), -1);
}

}  // namespace

void GtkWindowPeer::CentreOnOwner(GtkWindow* box) const {
  // Placed by its full size, as Windows centres a box on its owner: GTK's own
  // centring measures the box before its text is laid out.
  gtk_widget_show_all(gtk_dialog_get_content_area(GTK_DIALOG(box)));
  GtkRequisition natural{};
  gtk_widget_get_preferred_size(GTK_WIDGET(box), nullptr, &natural);
  Rect around = m_rect;
  if (!m_widget || !gtk_widget_get_visible(m_widget) || around.IsEmpty()) {
    const Size screen = GetPlatform().ScreenSize();
    around = Rect::FromXYWH(0, 0, screen.cx, screen.cy);
  }
  const Point origin = ScreenOrigin();
  gtk_window_move(box, origin.x + around.left + (around.Width() - natural.width) / 2,
                  origin.y + around.top + (around.Height() - natural.height) / 2);
}

int GtkWindowPeer::MessageBox(const std::string& text, const std::string& caption, unsigned style) {
  const bool yesNo = (style & 0xF) == kMbYesNo;
  const int dismissed = yesNo ? kIdNo : kIdOk;
  GtkPlatform& platform = Backend();
  if (platform.QuitPosted()) return dismissed;
  GtkWidget* box =
      gtk_message_dialog_new(m_widget ? GTK_WINDOW(m_widget) : nullptr,
                             static_cast<GtkDialogFlags>(GTK_DIALOG_MODAL | GTK_DIALOG_DESTROY_WITH_PARENT),
                             GTK_MESSAGE_OTHER, GTK_BUTTONS_NONE, "%s", text.c_str());
  // Our reference keeps the box's memory until we let go of it, however the
  // box goes (its close button, Escape, the window manager, its owner).
  g_object_ref_sink(box);
  gtk_window_set_title(GTK_WINDOW(box), caption.c_str());
  FitCaption(box, caption);
  if (yesNo) {
    gtk_dialog_add_button(GTK_DIALOG(box), kYesLabel, GTK_RESPONSE_YES);
    gtk_dialog_add_button(GTK_DIALOG(box), kNoLabel, GTK_RESPONSE_NO);
    gtk_dialog_set_default_response(GTK_DIALOG(box), GTK_RESPONSE_YES);
  } else {
    gtk_dialog_add_button(GTK_DIALOG(box), kOkLabel, GTK_RESPONSE_OK);
    gtk_dialog_set_default_response(GTK_DIALOG(box), GTK_RESPONSE_OK);
  }

  Answer answer{g_main_loop_new(nullptr, FALSE), yesNo};
  g_signal_connect(box, "response", G_CALLBACK(+[](GtkDialog*, gint response, gpointer data) {
                     Finish(*static_cast<Answer*>(data), response);
                   }),
                   &answer);
  // The window manager's close and Escape only answer; the box goes below.
  g_signal_connect(box, "delete-event", G_CALLBACK(+[](GtkWidget*, GdkEvent*, gpointer data) -> gboolean {
                     Finish(*static_cast<Answer*>(data), GTK_RESPONSE_DELETE_EVENT);
                     return TRUE;
                   }),
                   &answer);
  // Y and N answer a question box without Alt, as on Windows.
  g_signal_connect(box, "key-press-event", G_CALLBACK(+[](GtkWidget*, GdkEventKey* event, gpointer data) -> gboolean {
                     auto* a = static_cast<Answer*>(data);
                     if (!a->yesNo) return FALSE;
                     if (event->state & (GDK_CONTROL_MASK | GDK_MOD1_MASK | GDK_SUPER_MASK)) return FALSE;
                     const guint key = gdk_keyval_to_lower(event->keyval);
                     if (key == GDK_KEY_y)
                       Finish(*a, GTK_RESPONSE_YES);
                     else if (key == GDK_KEY_n)
                       Finish(*a, GTK_RESPONSE_NO);
                     else
                       return FALSE;
                     return TRUE;
                   }),
                   &answer);
  // Gone with its owner: that ends the wait too.
  g_signal_connect(box, "destroy", G_CALLBACK(+[](GtkWidget*, gpointer data) {
                     auto* a = static_cast<Answer*>(data);
                     a->destroyed = true;
                     g_main_loop_quit(a->loop);
                   }),
                   &answer);

  {
    const InputBlock block(this);  // the owner takes no input meanwhile, as on Windows
    CentreOnOwner(GTK_WINDOW(box));
    gtk_widget_show_all(box);
    platform.PushModalLoop(answer.loop);
    g_main_loop_run(answer.loop);
    platform.PopModalLoop(answer.loop);
  }
  g_main_loop_unref(answer.loop);
  g_signal_handlers_disconnect_by_data(box, &answer);
  if (!answer.destroyed) gtk_widget_destroy(box);
  g_object_unref(box);
  switch (answer.response) {
    case GTK_RESPONSE_YES:
      return kIdYes;
    case GTK_RESPONSE_NO:
      return kIdNo;
    case GTK_RESPONSE_OK:
      return kIdOk;
    default:
      return dismissed;
  }
}

}  // namespace ui::gtk
