#pragma once

namespace ui::gtk {

// The browser engine's first view loads the graphics driver into this
// process, which takes the GUI thread a good share of a second on a busy
// machine. Loading it beforehand, on a thread of its own while the first
// window is being mapped, takes that off the path to the first page. Best
// effort: without a driver nothing happens.
void StartEngineWarmUp();

// Waits for the warm-up, so that the engine never loads the driver while it
// still loads. Returns at once when none was started or it has ended.
void FinishEngineWarmUp();

}  // namespace ui::gtk
