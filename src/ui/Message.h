#pragma once

#include <cstdint>

namespace ui {

// A queued input message offered to the windows' key filters before dispatch.
struct Message {
  enum class Kind { KeyDown, Other };
  Kind kind = Kind::Other;
  unsigned key = 0;              // virtual-key code for KeyDown
  const void* native = nullptr;  // the backend's own message, for dispatching it
};

// Passed to the minimum/maximum tracking-size handler.
struct MinMaxInfo {
  int minTrackWidth = 0;
  int minTrackHeight = 0;
  int maxTrackWidth = 0;
  int maxTrackHeight = 0;
};

// The non-client size request: rects[0] is the proposed window rectangle,
// which the handler shrinks to the client rectangle.
struct NcCalcSizeParams {
  bool calcValidRects = false;
  struct RectStorage {
    int left, top, right, bottom;
  } rects[3]{};
};

}  // namespace ui
