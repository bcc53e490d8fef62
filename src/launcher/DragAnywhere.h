#pragma once

#include "ui/Codes.h"

// The launcher's windows are dragged from any point of their client area:
// the platform's hit answer with the client area turned into caption.
inline ui::Hit ClientAsCaption(ui::Hit hit) { return hit == ui::Hit::Client ? ui::Hit::Caption : hit; }
