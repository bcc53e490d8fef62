#pragma once

#include "ui/Geometry.h"
#include "ui/PixelImage.h"

// Where the splash sits: left of and above the centre of the primary screen.
// Integer division truncating toward zero; negative on small screens.
ui::Point SplashPosition(ui::Size screen, ui::Size picture);

// Premultiplies blue, green and red by alpha (c * a / 255, truncated), in
// place, for 32-bit pictures only; alpha is kept.
void PremultiplyAlpha(ui::PixelImage& image);
