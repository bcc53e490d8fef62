#pragma once

#include <vector>

#include "ui/Canvas.h"
#include "ui/Geometry.h"

// What a caption button does when the left button is released over it.
enum class CaptionRole {
  Own,              // the window's own action (SkinnedFrame::OnCaptionButton)
  Close,            // the close system command
  MaximizeRestore,  // maximise, or restore when maximised
  Minimize,         // the minimise system command
  Generic,          // toggles its check and posts its id as a command
};

// One caption button: its place when created and after each size change,
// both as offsets from the window's width W.
struct CaptionButtonEntry {
  int id;
  const char* label;  // UTF-8, nullptr for none
  int strip;          // index into captionButtonImages, or -1 for the text strip
  int createdLeft, createdRight;
  int laidLeft, laidRight;
  CaptionRole role;
  // The VIP button: hidden at first, its own label colour and an icon at
  // the top-left corner of its rectangle.
  bool vip = false;
};

// The constants that make one of the two skinned windows out of the one frame.
struct FrameVariant {
  int captionHeight;
  int borderWidth;
  int extraBottomInset;  // client rows above the bottom band showing the body
  int backgroundPng;
  ui::Color bodyColor;                   // the picture's body, below the caption
  std::vector<int> captionButtonImages;  // bitmap numbers
  int textStrip;                         // bitmap of the labelled buttons' strip
  int vipIconPng;
  ui::Point iconOrigin;
  int fillColumn;     // the caption column stretched across the middle
  int rightCapWidth;  // caption columns kept at the right end
  ui::Point titleOrigin;
  int titleWeight;  // 0: the platform's regular weight
  int buttonTop, buttonBottom;
  bool captionDoubleClicks;                 // false: double-clicks are ignored entirely
  std::vector<CaptionButtonEntry> buttons;  // in creation order
};

// The game window (dialog 134) and the chat window (dialog 105).
const FrameVariant& GameFrame();
const FrameVariant& ChatFrame();
