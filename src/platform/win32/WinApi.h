#pragma once
// <windows.h> for the backend. Its A/W macros would rename the platform
// contract's own methods of the same names (FindResource, MessageBox, ...)
// in this backend only, so they are taken back here and the wide functions
// are called by their full names.

#include <windows.h>

#undef FindResource
#undef MessageBox
#undef DrawText
#undef GetWindowText
#undef SetWindowText
