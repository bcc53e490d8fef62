#pragma once

#include "ui/Canvas.h"
#include "ui/Window.h"

// The paint reaction the launcher's windows share: a minimised window shows
// its icon centred in the client area; otherwise the platform paints.
void PaintIconOrDefault(ui::Window& window, ui::Canvas& canvas, int iconId);
