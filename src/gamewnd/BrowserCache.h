#pragma once

namespace ui {
class Window;
}

// Empties the browser's cache but its cookies, then tells the player so in a
// box over `owner`. Running out of memory ends it quietly.
void CleanBrowserCache(ui::Window& owner);
