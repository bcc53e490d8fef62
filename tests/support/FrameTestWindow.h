#pragma once

#include <functional>
#include <string>
#include <vector>

#include "skin/SkinnedFrame.h"

namespace kqvtest {

// The skinned frame of either window around an empty client area, so that
// the frame can be driven before the windows that carry it. It records the
// actions of the window's own caption buttons (ids 10 to 14) and the
// commands that reach it.
class FrameTestWindow : public SkinnedFrame {
 public:
  static constexpr int kIconId = 7;

  explicit FrameTestWindow(bool chat, std::string title = "Frame")
      : SkinnedFrame(chat ? 105 : 134, chat ? ChatFrame() : GameFrame()), m_title(std::move(title)) {}

  bool OnInitDialog() override {
    SetIcon(kIconId, true);
    SetIcon(kIconId, false);
    SetWindowText(m_title);
    return true;
  }
  bool OnCommand(int id) override {
    commands.push_back(id);
    return SkinnedFrame::OnCommand(id);
  }

  std::vector<int> actions;
  std::vector<int> commands;
  std::function<void(int)> onAction;

 protected:
  void OnCaptionButton(int id) override {
    actions.push_back(id);
    if (onAction) onAction(id);
  }

 private:
  std::string m_title;
};

}  // namespace kqvtest
