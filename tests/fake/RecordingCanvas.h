#pragma once

#include <string>
#include <vector>

#include "ui/Canvas.h"

namespace fake {

// A canvas that writes down what is drawn on it, in order.
class RecordingCanvas : public ui::Canvas {
 public:
  struct Picture {
    const ui::Picture* picture;
    ui::Rect dest, source;
  };
  struct Text {
    std::string text;
    ui::Font font;
    ui::Color color;
    ui::Rect layout;
    ui::TextAlign horizontal, vertical;
    bool noWrap;
  };

  struct Icon {
    int id;
    ui::Rect rect;
  };

  void DrawPicture(const ui::Picture& picture, const ui::Rect& dest, const ui::Rect& source) override {
    pictures.push_back({&picture, dest, source});
    order += 'p';
    ++calls;
  }
  void DrawIcon(int id, int x, int y, int cx, int cy) override {
    icons.push_back({id, ui::Rect::FromXYWH(x, y, cx, cy)});
    order += 'i';
    ++calls;
  }
  void DrawText(const std::string& text, const ui::Font& font, ui::Color color, const ui::Rect& layout,
                ui::TextAlign horizontal, ui::TextAlign vertical, bool noWrap) override {
    texts.push_back({text, font, color, layout, horizontal, vertical, noWrap});
    order += 't';
    ++calls;
  }
  void FillRect(const ui::Rect&, ui::Color) override {
    order += 'f';
    ++calls;
  }

  std::vector<Picture> pictures;
  std::vector<Text> texts;
  std::vector<Icon> icons;
  std::string order;  // one letter per call: picture, icon, text, fill
  int calls = 0;
};

}  // namespace fake
