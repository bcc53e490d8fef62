// kqv_frame_window game|chat [x y width height]
//
// Shows the skinned frame of the game window or of the chat window around
// an empty client area, as a modal dialog, and prints one line per event on
// stdout for the end-to-end tests:
//   action <id>              a caption button's own action (ids 10 to 14)
//   command <id>             a command that reached the window
//   syscommand <name>        a system command, before its processing
//   menu-closed              the system menu closed (chosen or dismissed)
//   size <type> x y w h      the window after a size change
//   end <result>             the dialog ended; the program then exits 0
#include <gtk/gtk.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "FrameTestWindow.h"
#include "platform/gtk/GtkPlatform.h"

namespace {

void Say(const std::string& line) {
  std::fputs((line + "\n").c_str(), stdout);
  std::fflush(stdout);
}

const char* SysCommandName(ui::SysCommand command) {
  switch (command) {
    case ui::SysCommand::Size:
      return "size";
    case ui::SysCommand::Move:
      return "move";
    case ui::SysCommand::Minimize:
      return "minimize";
    case ui::SysCommand::Maximize:
      return "maximize";
    case ui::SysCommand::Close:
      return "close";
    case ui::SysCommand::KeyMenu:
      return "keymenu";
    case ui::SysCommand::Restore:
      return "restore";
  }
  return "other";
}

const char* SizeTypeName(ui::SizeType type) {
  switch (type) {
    case ui::SizeType::Restored:
      return "restored";
    case ui::SizeType::Minimized:
      return "minimized";
    case ui::SizeType::Maximized:
      return "maximized";
    case ui::SizeType::MaxShow:
      return "maxshow";
    case ui::SizeType::MaxHide:
      return "maxhide";
  }
  return "other";
}

std::string RectText(const ui::Rect& rect) {
  return std::to_string(rect.left) + " " + std::to_string(rect.top) + " " + std::to_string(rect.Width()) + " " +
         std::to_string(rect.Height());
}

class ReportingFrame : public kqvtest::FrameTestWindow {
 public:
  ReportingFrame(bool chat, std::optional<ui::Rect> place) : FrameTestWindow(chat, "KQV 帧测试"), m_place(place) {
    onAction = [](int id) { Say("action " + std::to_string(id)); };
  }

  bool OnInitDialog() override {
    FrameTestWindow::OnInitDialog();
    if (m_place) MoveWindow(*m_place);
    return true;
  }
  bool OnCommand(int id) override {
    Say("command " + std::to_string(id));
    return FrameTestWindow::OnCommand(id);
  }
  void OnSysCommand(ui::SysCommand command) override {
    Say(std::string("syscommand ") + SysCommandName(command));
    FrameTestWindow::OnSysCommand(command);
  }
  bool FilterMessage(unsigned message, std::intptr_t& result) override {
    if (message == ui::kMsgUninitMenuPopup) Say("menu-closed");
    return FrameTestWindow::FilterMessage(message, result);
  }
  void OnSize(ui::SizeType type, int cx, int cy) override {
    FrameTestWindow::OnSize(type, cx, cy);
    Say(std::string("size ") + SizeTypeName(type) + " " + RectText(GetWindowRect()));
  }

 private:
  std::optional<ui::Rect> m_place;
};

int Usage() {
  std::fputs("usage: kqv_frame_window game|chat [x y width height]\n", stderr);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  setenv("GDK_GL", "disable", 0);
  // The same display backend as the client's.
  gdk_set_allowed_backends("x11");
  gtk_init(&argc, &argv);
  if (argc != 2 && argc != 6) return Usage();
  const std::string variant = argv[1];
  if (variant != "game" && variant != "chat") return Usage();
  std::optional<ui::Rect> place;
  if (argc == 6) {
    place = ui::Rect::FromXYWH(std::atoi(argv[2]), std::atoi(argv[3]), std::atoi(argv[4]), std::atoi(argv[5]));
  }

  static ui::gtk::GtkPlatform* platform = new ui::gtk::GtkPlatform({});
  ui::SetPlatform(platform);
  ReportingFrame window(variant == "chat", place);
  const int result = window.DoModal();
  Say("end " + std::to_string(result));
  return 0;
}
