#pragma once

#include <cstddef>
#include <iterator>
#include <vector>

#include "ui/Geometry.h"

namespace ui::gtk {

// What a dialog template says about its window, read at build time from the
// resource script the Windows build compiles (tools/art/dialog_templates.py).
struct DialogTemplate {
  int id = 0;
  bool visible = false;  // shown once initialised
  bool caption = false;  // has a caption (drawn by the window itself here)
  bool sizingBorder = false;
  bool minimizeBox = false;
  bool maximizeBox = false;
  bool appWindow = false;  // on the task bar even when owned
  const char* title = "";
  int pointSize = 8;           // dialog font; sets the size of a dialog unit
  Size dialogUnits{};          // nominal size
  std::vector<int> buttons{};  // ids of the push buttons it declares
};

// Every template of the resource script (generated).
extern const DialogTemplate kDialogTemplates[];
extern const std::size_t kDialogTemplateCount;

// The template with this id, or null.
const DialogTemplate* FindDialogTemplate(int id);

// Nominal size in pixels: dialog units scaled by the dialog font's average
// character size (a quarter of its width, an eighth of its height).
Size NominalPixelSize(const DialogTemplate& dialog);

}  // namespace ui::gtk
