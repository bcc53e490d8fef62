#pragma once

#include <string>

// Starts the separate game client game/KQVClient beside the executable with
// the command line " p <address>"; on success the launcher quits.
void LaunchGameClient(const std::string& address);
