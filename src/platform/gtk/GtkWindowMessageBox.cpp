#include "platform/gtk/GtkWindowPeer.h"

#include "platform/gtk/GtkPlatform.h"

namespace ui::gtk {

int GtkWindowPeer::MessageBox(const std::string& text, const std::string& caption, unsigned style) {
  const bool yesNo = (style & 0xF) == kMbYesNo;
  const int dismissed = yesNo ? kIdNo : kIdOk;
  GtkPlatform& platform = Backend();
  if (platform.QuitPosted()) return dismissed;
  GtkWidget* box = gtk_message_dialog_new(m_widget ? GTK_WINDOW(m_widget) : nullptr,
                                          static_cast<GtkDialogFlags>(GTK_DIALOG_MODAL | GTK_DIALOG_DESTROY_WITH_PARENT),
                                          GTK_MESSAGE_OTHER, yesNo ? GTK_BUTTONS_YES_NO : GTK_BUTTONS_OK, "%s",
                                          text.c_str());
  gtk_window_set_title(GTK_WINDOW(box), caption.c_str());
  struct Answer {
    GMainLoop* loop;
    int response = GTK_RESPONSE_NONE;
  } answer{g_main_loop_new(nullptr, FALSE)};
  g_signal_connect(box, "response", G_CALLBACK(+[](GtkDialog*, gint response, gpointer data) {
                     auto* a = static_cast<Answer*>(data);
                     a->response = response;
                     g_main_loop_quit(a->loop);
                   }),
                   &answer);
  // Destroyed with its owner: that ends the wait too.
  g_signal_connect(box, "destroy", G_CALLBACK(+[](GtkWidget*, gpointer data) {
                     g_main_loop_quit(static_cast<Answer*>(data)->loop);
                   }),
                   &answer);
  gtk_widget_show_all(box);
  platform.PushModalLoop(answer.loop);
  g_main_loop_run(answer.loop);
  platform.PopModalLoop(answer.loop);
  g_main_loop_unref(answer.loop);
  g_signal_handlers_disconnect_by_data(box, &answer);
  gtk_widget_destroy(box);
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
