// Hosts the "Port Management" window in this process and asks Windows'
// accessibility layer (oleacc) what a screen reader hears: the buttons' names
// and keyboard shortcuts, the options' and groups' names, and the name of the
// label right before each list, which Windows' oleacc gives the list (Wine's
// names a list after its own text instead, so the list itself is not asked).
// Prints one line per control and "probe: ok" or "probe: FAILED".
#include "forms/Win32Form1.h"

#include <windows.h>
#include <oleacc.h>

#include <cstdio>
#include <string>

namespace {

std::string Narrow(const wchar_t* w) {
    std::string s;
    for (; w && *w; ++w) s.push_back(*w < 128 ? static_cast<char>(*w) : '?');
    return s;
}

bool g_failed = false;

void Check(const char* what, const std::string& expected, const std::string& seen) {
    std::printf("%s: \"%s\"\n", what, seen.c_str());
    if (expected != seen) {
        std::printf("FAIL: %s: expected \"%s\"\n", what, expected.c_str());
        g_failed = true;
    }
}

// The accessible name (or keyboard shortcut) of a control.
std::string Ask(HWND control, bool shortcut) {
    IAccessible* accessible = nullptr;
    // The window answers no WM_GETOBJECT, so this is the object oleacc hands
    // screen readers. The GUID is written out: mingw-w64 links oleacc's
    // IID_IAccessible, a data export, to its import thunk.
    static const GUID kIAccessible = {0x618736e0, 0x3c3d, 0x11cf, {0x81, 0x0c, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71}};
    const HRESULT created = ::CreateStdAccessibleObject(control, static_cast<LONG>(OBJID_CLIENT), kIAccessible,
                                                        reinterpret_cast<void**>(&accessible));
    if (FAILED(created) || !accessible) {
        char code[64];
        std::snprintf(code, sizeof code, "<no accessible object: 0x%08lx>", static_cast<unsigned long>(created));
        return code;
    }
    VARIANT self;
    self.vt = VT_I4;
    self.lVal = CHILDID_SELF;
    BSTR text = nullptr;
    const HRESULT hr = shortcut ? accessible->get_accKeyboardShortcut(self, &text) : accessible->get_accName(self, &text);
    std::string result = SUCCEEDED(hr) && text ? Narrow(text) : "<none>";
    ::SysFreeString(text);
    accessible->Release();
    return result;
}

DWORD WINAPI Probe(void*) {
    ::CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    HWND window = nullptr;
    for (int i = 0; i < 200 && !(window = ::FindWindowW(nullptr, L"Port Management")); ++i) ::Sleep(50);
    if (!window) {
        std::printf("FAIL: no window\n");
        g_failed = true;
    } else {
        ::Sleep(300);
        const char* labels[5] = {"Bits per second :", "Data bits :", "Parity :", "Stop bits :", "Flow control :"};
        int list = 0;
        for (HWND c = ::GetWindow(window, GW_CHILD); c; c = ::GetWindow(c, GW_HWNDNEXT)) {
            wchar_t cls[32] = {}, caption[64] = {};
            ::GetClassNameW(c, cls, 32);
            ::GetWindowTextW(c, caption, 64);
            const std::string name = Narrow(caption);
            if (std::wstring(cls) == L"ComboBox" && list < 5) {
                const std::string what = "label before list " + std::to_string(list);
                std::string heard = Ask(::GetWindow(c, GW_HWNDPREV), false);
                while (!heard.empty() && heard.back() == ' ') heard.pop_back();
                Check(what.c_str(), labels[list++], heard);
            } else if (name == "Next (&N)" || name == "Delete (&X)") {
                Check((name + " name").c_str(), name == "Next (&N)" ? "Next (N)" : "Delete (X)", Ask(c, false));
                Check((name + " shortcut").c_str(), name == "Next (&N)" ? "Alt+N" : "Alt+X", Ask(c, true));
            } else if (name == "COM1" || name == "USB" || name == "COM Port Properties") {
                Check((name + " name").c_str(), name, Ask(c, false));
            }
        }
        if (list != 5) {
            std::printf("FAIL: %d lists found\n", list);
            g_failed = true;
        }
    }
    std::printf(g_failed ? "probe: FAILED\n" : "probe: ok\n");
    std::fflush(stdout);
    if (window) ::PostMessageW(window, WM_CLOSE, 0, 0);
    ::CoUninitialize();
    return 0;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    HANDLE thread = ::CreateThread(nullptr, 0, Probe, nullptr, 0, nullptr);
    forms::RunPortManagement(instance, setup::kVeltro);
    ::WaitForSingleObject(thread, 15000);
    ::CloseHandle(thread);
    return g_failed ? 1 : 0;
}
