#pragma once

namespace ui {
class UrlCache;
class Window;
}  // namespace ui

// Deletes every entry of the URL cache but the cookies. False when no memory
// could be had for an entry: the walk stops there. Any error ends the walk,
// and so does a refusal that asks for no larger buffer.
bool CleanUrlCache(ui::UrlCache& cache);

// Empties the browser's cache but its cookies, then tells the player so in a
// box over `owner`. Running out of memory ends it quietly.
void CleanBrowserCache(ui::Window& owner);
