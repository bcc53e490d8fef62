#pragma once
// The DLL itself: its instance, and the count of objects alive, locks and
// threads running, which DllCanUnloadNow answers from.

#include <windows.h>

namespace standin {

HINSTANCE Module();
void ModuleAddRef();
void ModuleRelease();

}  // namespace standin
