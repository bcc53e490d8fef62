#include "platform/gtk/DialogTemplates.h"

namespace ui::gtk {

namespace {

// The ids are the resource numbers the system's windows ask for.
const DialogTemplate kTemplates[] = {
    // The launcher's picture: a popup that is its own task-bar entry.
    {.id = 102, .visible = true, .appWindow = true, .pointSize = 9, .dialogUnits = {319, 200}},
    // The chat window.
    {.id = 105, .caption = true, .title = "对话框", .dialogUnits = {320, 200}},
    // The launcher's controls overlay.
    {.id = 130, .dialogUnits = {416, 252}, .buttons = {1, 2, 3, 4, 5}},
    // The game window.
    {.id = 134,
     .caption = true,
     .sizingBorder = true,
     .minimizeBox = true,
     .maximizeBox = true,
     .appWindow = true,
     .dialogUnits = {836, 428}},
};

}  // namespace

const DialogTemplate* FindDialogTemplate(int id) {
  for (const DialogTemplate& dialog : kTemplates) {
    if (dialog.id == id) return &dialog;
  }
  return nullptr;
}

Size NominalPixelSize(const DialogTemplate& dialog) {
  // Average character cell of the dialog font at 96 dots per inch.
  const int baseX = dialog.pointSize >= 9 ? 7 : 6;
  const int baseY = dialog.pointSize >= 9 ? 15 : 13;
  return {(dialog.dialogUnits.cx * baseX + 2) / 4, (dialog.dialogUnits.cy * baseY + 4) / 8};
}

}  // namespace ui::gtk
