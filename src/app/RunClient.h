#pragma once

// The client's whole run, once the backend has installed its platform
// (ui::SetPlatform). Returns the process exit code.
int RunClient();
