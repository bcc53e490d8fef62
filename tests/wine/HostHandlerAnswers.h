#pragma once
// What a document host handler made from the game and chat windows' choices
// answers to each call the engine makes: the browser's own context menu and
// interface, no 3-D border, no scroll bars, and window.external when there
// are script methods. Shared by the handler's own test and the browser test,
// which asks the control's client site for the same handler.

#include <windows.h>
// after windows.h
#include <mshtmhst.h>

#include "ui/Browser.h"

namespace wine_tests {

// The game window's choices, with one script method, "getAppVersion",
// answering "1.0.0.1"; without it when withMethod is false.
ui::HostChoices GameWindowChoices(bool withMethod);

// Every call of the handler, each with its expected result and out values.
void ExpectGameWindowAnswers(IDocHostUIHandler* handler, bool withMethod);

}  // namespace wine_tests
