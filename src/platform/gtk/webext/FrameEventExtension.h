#pragma once

#include <webkit2/webkit-web-extension.h>

// Makes the world the client's frame-event scripts run in and gives them
// their reporting function. Called once, as the extension starts.
void StartFrameEvents(WebKitWebExtension* extension);
