#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "ui/Canvas.h"

// The skinned windows' pictures by resource number. Bitmaps are converted
// once and shared; the PNG numbers are decoded anew on every request. Every
// picture handed out lives as long as the store, which for Instance() is the
// whole run: callers keep plain pointers and never free them.
class ImageStore {
 public:
  static ImageStore& Instance();

  // Never null: a number without a usable resource gives a picture that is
  // not Ok(), reports zero size and draws nothing (cached like any bitmap).
  ui::Picture* GetImage(int number);

  // The numbers stored as PNG files; every other one is a bitmap.
  static bool IsPngNumber(int number) { return number == 164 || number == 166 || number == 167; }

 private:
  std::map<std::string, std::unique_ptr<ui::Picture>> m_images;  // key: the number in decimal
  std::vector<std::unique_ptr<ui::Picture>> m_decoded;           // PNGs, kept for their users
};
