// The "Port Management" window on Windows: creates it and its controls, hands
// their events to Form1, and runs until the window closes.
#pragma once

#include "setup/Product.h"

#include <windows.h>

namespace forms {

// Runs the window for `product`; returns the program's exit code.
int RunPortManagement(HINSTANCE instance, const setup::Product& product);

}  // namespace forms
