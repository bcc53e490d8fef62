#include "platform/gtk/DialogTemplates.h"

namespace ui::gtk {

const DialogTemplate* FindDialogTemplate(int id) {
  for (std::size_t i = 0; i < kDialogTemplateCount; ++i) {
    if (kDialogTemplates[i].id == id) return &kDialogTemplates[i];
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
