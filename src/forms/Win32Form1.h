// The "Port Management" window on Windows: creates it and its controls, hands
// their events to Form1, and runs until the window closes.
#pragma once

#include <windows.h>

namespace forms {

// Runs the window; returns the program's exit code.
int RunPortManagement(HINSTANCE instance);

}  // namespace forms
