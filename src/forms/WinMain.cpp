// PortSetup's entry point.
#include "forms/Win32Form1.h"
#include "platform/Win32Api.h"
#include "setup/Product.h"

#include <windows.h>

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    // First of all: DLLs loaded from now on come from the system directory
    // only, never from the (writable) folder the tool was started from.
    platform::RestrictDllSearchToSystem();
    return forms::RunPortManagement(instance, setup::kVeltro);
}
