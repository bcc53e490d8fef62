#pragma once
// The control's two windows: the view in the host's window (painting, the
// mouse) and a message-only courier that takes job results and timers back
// to the control's thread.

#include <windows.h>

namespace standin {

class Browser;

inline constexpr UINT kJobDone = WM_APP + 1;  // wParam: the job's id

HWND CreateCourier(Browser* browser);
HWND CreateView(Browser* browser, HWND parent, const RECT& area);

}  // namespace standin
