// The least program that shows the same window as PortSetup: the same kinds
// and number of controls with the same captions, places and list entries,
// created in one function with no logic behind them. Built and linked like
// PortSetup.exe (same resources, same flags), it is the yardstick for start-up
// time and memory.
#include <windows.h>
#include <commctrl.h>

#include <string>

namespace {

LRESULT CALLBACK Proc(HWND h, UINT m, WPARAM w, LPARAM l) {
    if (m == WM_DESTROY) {
        ::PostQuitMessage(0);
        return 0;
    }
    return ::DefWindowProcW(h, m, w, l);
}

HWND Add(HWND parent, const wchar_t* cls, const wchar_t* text, DWORD style, int x, int y, int w, int h, HFONT font) {
    HWND c = ::CreateWindowExW(0, cls, text, WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | style, x, y, w, h, parent, nullptr,
                               nullptr, nullptr);
    ::SendMessageW(c, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    return c;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR command, int) {
    INITCOMMONCONTROLSEX common{sizeof common, ICC_STANDARD_CLASSES};
    ::InitCommonControlsEx(&common);
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = Proc;
    wc.hInstance = instance;
    wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = L"BareWindow";
    wc.hIcon = static_cast<HICON>(::LoadImageW(instance, MAKEINTRESOURCEW(1), IMAGE_ICON, 32, 32, LR_SHARED));
    ::RegisterClassExW(&wc);
    RECT r{0, 0, 335, 235};
    const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
    ::AdjustWindowRectEx(&r, style, FALSE, WS_EX_CONTROLPARENT);
    const int w = r.right - r.left, h = r.bottom - r.top;
    HWND hwnd = ::CreateWindowExW(WS_EX_CONTROLPARENT, L"BareWindow", L"Port Management", style,
                                  (::GetSystemMetrics(SM_CXSCREEN) - w) / 2, (::GetSystemMetrics(SM_CYSCREEN) - h) / 2, w, h,
                                  nullptr, nullptr, instance, nullptr);
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    ::SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
    HFONT font = ::CreateFontIndirectW(&metrics.lfMessageFont);

    Add(hwnd, WC_BUTTONW, L"Next (&N)", WS_TABSTOP | BS_PUSHBUTTON, 250, 207, 81, 25, font);
    Add(hwnd, WC_BUTTONW, L"Delete (&X)", WS_TABSTOP | BS_PUSHBUTTON, 4, 207, 79, 25, font);
    for (int i = 0; i < 4; ++i) {
        const std::wstring caption = L"COM" + std::to_wstring(i + 1);
        HWND o = Add(hwnd, WC_BUTTONW, caption.c_str(), BS_AUTORADIOBUTTON | (i == 0 ? WS_GROUP | WS_TABSTOP : 0), 13,
                     22 + 27 * i, 62, 18, font);
        if (i == 0) ::SendMessageW(o, BM_SETCHECK, BST_CHECKED, 0);
    }
    Add(hwnd, WC_BUTTONW, L"USB", BS_AUTORADIOBUTTON | WS_GROUP | WS_TABSTOP, 13, 163, 89, 14, font);
    const wchar_t* entries[5][7] = {{L"2400", L"4800", L"9600", L"19200", L"38400", L"57600", L"115200"},
                                    {L"4", L"5", L"6", L"7", L"8"},
                                    {L"Even", L"Odd", L"None", L"Mark", L"Space"},
                                    {L"1", L"1.5", L"2"},
                                    {L"Xon/Xoff", L"Hardware", L"None"}};
    const wchar_t* codes[5][7] = {{L"2400", L"4800", L"9600", L"19200", L"38400", L"57600", L"115200"},
                                  {L"4", L"5", L"6", L"7", L"8"},
                                  {L"e", L"o", L"n", L"m", L"s"},
                                  {L"1", L"1.5", L"2"},
                                  {L",x", L",p", L""}};
    const int defaults[5] = {2, 4, 2, 0, 1};
    for (int i = 0; i < 5; ++i) {
        HWND c = Add(hwnd, WC_COMBOBOXW, L"", CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP, 227, 19 + 20 * i, 102, 150, font);
        for (int e = 0; e < 7 && entries[i][e]; ++e)
            ::SendMessageW(c, CB_ADDSTRING, 0,
                           reinterpret_cast<LPARAM>((std::wstring(entries[i][e]) + std::wstring(100, L' ') + codes[i][e]).c_str()));
        ::SendMessageW(c, CB_SETCURSEL, defaults[i], 0);
        ::SendMessageW(c, CB_SETDROPPEDWIDTH, 120, 0);
    }
    const wchar_t* labels[5] = {L"Bits per second : ", L"Data bits : ", L"Parity : ", L"Stop bits : ", L"Flow control : "};
    for (int i = 0; i < 5; ++i) Add(hwnd, WC_STATICW, labels[i], SS_RIGHT, 126, 23 + 20 * i, 101, 13, font);
    Add(hwnd, WC_BUTTONW, L"COM Port Properties", BS_GROUPBOX, 115, 5, 217, 120, font);
    Add(hwnd, WC_BUTTONW, L"USB Port", BS_GROUPBOX, 2, 130, 107, 70, font);
    Add(hwnd, WC_BUTTONW, L"Serial Port", BS_GROUPBOX, 2, 3, 107, 122, font);

    ::ShowWindow(hwnd, SW_SHOWNORMAL);
    ::UpdateWindow(hwnd);
    // "close": shut the window as soon as it is shown, to time a whole run.
    if (lstrcmpW(command, L"close") == 0) ::PostMessageW(hwnd, WM_CLOSE, 0, 0);
    MSG msg;
    while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (::IsDialogMessageW(hwnd, &msg)) continue;
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
    ::DeleteObject(font);
    return 0;
}
