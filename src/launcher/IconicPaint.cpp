#include "launcher/IconicPaint.h"

#include "ui/Platform.h"

void PaintIconOrDefault(ui::Window& window, ui::Canvas& canvas, int iconId) {
  if (!window.IsIconic()) {
    window.Default();
    return;
  }
  const ui::Rect client = window.GetClientRect();
  const ui::Size icon = ui::GetPlatform().IconSize();
  canvas.DrawIcon(iconId, (client.Width() - icon.cx + 1) / 2, (client.Height() - icon.cy + 1) / 2, icon.cx, icon.cy);
}
