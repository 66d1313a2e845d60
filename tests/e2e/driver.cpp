// Drives PortSetup.exe under Wine as a user would: starts it, finds the
// "Port Management" window, clicks, picks list entries, reads states back,
// answers message boxes and takes screenshots. Each argument group is one
// step; the first step that sees something other than expected prints what it
// expected and what it saw, ends the program under test and exits 1.
#include "png.h"

#include <windows.h>
#include <tlhelp32.h>
#include <winspool.h>

#include <cstdio>
#include <cstdlib>
#include <cmath>
#include <string>
#include <vector>

namespace {

PROCESS_INFORMATION g_process{};
ULONGLONG g_lastClick = 0;   // when the last button was clicked
ULONGLONG g_exitedAfter = 0; // milliseconds from that click to the program's end
HWND g_window = nullptr;
bool g_failed = false;

std::string Narrow(const std::wstring& w) {
    std::string s;
    for (wchar_t c : w) s.push_back(c < 128 ? static_cast<char>(c) : '?');
    return s;
}
std::string Utf8(const std::wstring& w) {
    const int n = ::WideCharToMultiByte(CP_UTF8, 0, w.c_str(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
    std::string s(static_cast<std::size_t>(n), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, w.c_str(), static_cast<int>(w.size()), s.data(), n, nullptr, nullptr);
    return s;
}
std::wstring Widen(const std::string& s) {
    const int n = ::MultiByteToWideChar(CP_UTF8, 0, s.c_str(), -1, nullptr, 0);
    std::wstring w(static_cast<std::size_t>(n), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, s.c_str(), -1, w.data(), n);
    w.resize(static_cast<std::size_t>(n - 1));
    return w;
}

std::wstring TextOf(HWND h) {
    wchar_t buffer[512] = {};
    ::GetWindowTextW(h, buffer, 512);
    return buffer;
}
std::wstring ClassOf(HWND h) {
    wchar_t buffer[128] = {};
    ::GetClassNameW(h, buffer, 128);
    return buffer;
}

void Fail(const std::string& what, const std::string& expected, const std::string& saw) {
    std::printf("FAIL: %s: expected %s, saw %s\n", what.c_str(), expected.c_str(), saw.c_str());
    std::fflush(stdout);
    g_failed = true;
}

template <typename T>
bool Expect(const std::string& what, const T& expected, const T& saw) {
    if (expected == saw) return true;
    if constexpr (std::is_same_v<T, std::string>) Fail(what, "\"" + expected + "\"", "\"" + saw + "\"");
    else Fail(what, std::to_string(expected), std::to_string(saw));
    return false;
}

DWORD ProcessOf(HWND h) {
    DWORD pid = 0;
    ::GetWindowThreadProcessId(h, &pid);
    return pid;
}

// A visible top-level window of the process under test, by caption and class.
struct TopLevelQuery {
    const wchar_t* caption;
    const wchar_t* className;
    HWND found;
};
// A callback of the system's own calling convention (stdcall on 32-bit Windows).
BOOL CALLBACK MatchTopLevel(HWND h, LPARAM p) {
    auto* q = reinterpret_cast<TopLevelQuery*>(p);
    if (g_process.dwProcessId && ProcessOf(h) != g_process.dwProcessId) return TRUE;
    if (!::IsWindowVisible(h)) return TRUE;
    if (q->caption && TextOf(h) != q->caption) return TRUE;
    if (q->className && ClassOf(h) != q->className) return TRUE;
    q->found = h;
    return FALSE;
}
HWND FindTopLevel(const wchar_t* caption, const wchar_t* className) {
    TopLevelQuery q{caption, className, nullptr};
    ::EnumWindows(MatchTopLevel, reinterpret_cast<LPARAM>(&q));
    return q.found;
}

HWND Child(const std::wstring& className, const std::wstring& text, int index = 0) {
    int seen = 0;
    for (HWND c = ::GetWindow(g_window, GW_CHILD); c; c = ::GetWindow(c, GW_HWNDNEXT)) {
        if (ClassOf(c) != className) continue;
        if (!text.empty() && TextOf(c) != text) continue;
        if (seen++ == index) return c;
    }
    return nullptr;
}

HWND Combo(int index) { return Child(L"ComboBox", L"", index); }
HWND Option(const std::wstring& caption) { return Child(L"Button", caption); }

RECT ClientRectOf(HWND control) {
    RECT r{};
    ::GetWindowRect(control, &r);
    ::MapWindowPoints(nullptr, g_window, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

unsigned g_dpi = 96;  // the screen's, as the test set it
int Px(double twips) { return static_cast<int>(std::lround(twips * g_dpi / 1440.0)); }

// Exact at 96 DPI; within a pixel at other scales, where twips do not fall on whole pixels.
void ExpectPx(const std::string& what, int expected, int seen) {
    const int tolerance = g_dpi == 96 ? 0 : 1;
    if (std::abs(expected - seen) > tolerance)
        Fail(what, std::to_string(expected) + (tolerance ? " (+-1)" : ""), std::to_string(seen));
}

void ExpectRect(const std::string& what, HWND control, double left, double top, double width, double height) {
    if (!control) return Fail(what, "the control", "none");
    const RECT r = ClientRectOf(control);
    ExpectPx(what + " left", Px(left), static_cast<int>(r.left));
    ExpectPx(what + " top", Px(top), static_cast<int>(r.top));
    ExpectPx(what + " width", Px(width), static_cast<int>(r.right - r.left));
    if (height > 0) ExpectPx(what + " height", Px(height), static_cast<int>(r.bottom - r.top));
}

// The caption as drawn (without the & of a mnemonic) fits its control.
void ExpectCaptionFits(HWND control, int reserved) {
    std::wstring text = TextOf(control);
    for (std::size_t i = 0; i < text.size(); ++i)
        if (text[i] == L'&') text.erase(i, 1);
    // The system's message font at the screen's DPI, which the window uses (a
    // font handle of another process cannot be selected here).
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    ::SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
    HFONT font = ::CreateFontIndirectW(&metrics.lfMessageFont);
    HDC dc = ::GetDC(nullptr);
    HGDIOBJ old = ::SelectObject(dc, font);
    SIZE extent{};
    ::GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &extent);
    ::SelectObject(dc, old);
    ::ReleaseDC(nullptr, dc);
    ::DeleteObject(font);
    RECT r{};
    ::GetClientRect(control, &r);
    if (extent.cx + reserved > r.right || extent.cy > r.bottom + 2)
        Fail("caption \"" + Narrow(text) + "\" fits", std::to_string(extent.cx + reserved) + "x" + std::to_string(extent.cy) +
             " within the control", std::to_string(r.right) + "x" + std::to_string(r.bottom));
}

std::wstring ComboText(HWND combo, int index) {
    const LRESULT n = ::SendMessageW(combo, CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0);
    if (n == CB_ERR) return L"";
    std::wstring text(static_cast<std::size_t>(n) + 1, L'\0');
    ::SendMessageW(combo, CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<std::size_t>(n));
    return text;
}
std::wstring SelectedDisplay(HWND combo) {
    const std::wstring text = ComboText(combo, static_cast<int>(::SendMessageW(combo, CB_GETCURSEL, 0, 0)));
    return text.substr(0, text.find(L' '));
}

bool Checked(HWND h) { return h && ::SendMessageW(h, BM_GETCHECK, 0, 0) == BST_CHECKED; }
bool Styled(HWND h, LONG_PTR bits) { return (::GetWindowLongPtrW(h, GWL_STYLE) & bits) == bits; }

void CheckLayout() {
    Expect<std::string>("caption", "Port Management", Narrow(TextOf(g_window)));
    RECT client{};
    ::GetClientRect(g_window, &client);
    ExpectPx("client width", Px(5025), static_cast<int>(client.right));
    ExpectPx("client height", Px(3525), static_cast<int>(client.bottom));
    RECT outer{};
    ::GetWindowRect(g_window, &outer);
    const int screenW = ::GetSystemMetrics(SM_CXSCREEN), screenH = ::GetSystemMetrics(SM_CYSCREEN);
    const int w = outer.right - outer.left, h = outer.bottom - outer.top;
    if (std::abs(outer.left - (screenW - w) / 2) > 1 || std::abs(outer.top - (screenH - h) / 2) > 1)
        Fail("window position", "centred at (" + std::to_string((screenW - w) / 2) + "," + std::to_string((screenH - h) / 2) + ")",
             "(" + std::to_string(outer.left) + "," + std::to_string(outer.top) + ")");
    Expect("window is normal", 1, static_cast<int>(!::IsIconic(g_window) && !::IsZoomed(g_window)));

    ExpectRect("Next", Child(L"Button", L"Next (&N)"), 3750, 3105, 1215, 375);
    ExpectRect("Delete", Child(L"Button", L"Delete (&X)"), 60, 3105, 1185, 375);
    ExpectRect("Serial Port", Child(L"Button", L"Serial Port"), 30, 45, 1605, 1830);
    ExpectRect("USB Port", Child(L"Button", L"USB Port"), 30, 1950, 1605, 1050);
    ExpectRect("COM Port Properties", Child(L"Button", L"COM Port Properties"), 1725, 75, 3255, 1800);
    for (int i = 0; i < 4; ++i) {
        const std::wstring name = L"COM" + std::to_wstring(i + 1);
        ExpectRect(Narrow(name), Option(name), 30 + 165, 45 + 285 + 400 * i, 930, 270);
        Expect(Narrow(name) + " selected", i == 0 ? 1 : 0, static_cast<int>(Checked(Option(name))));
        Expect(Narrow(name) + " starts its group", i == 0 ? 1 : 0, static_cast<int>(Styled(Option(name), WS_GROUP)));
        Expect(Narrow(name) + " is an automatic option", 1, static_cast<int>((::GetWindowLongPtrW(Option(name), GWL_STYLE) & 0xF) == BS_AUTORADIOBUTTON));
    }
    ExpectRect("USB", Option(L"USB"), 30 + 165, 1950 + 500, 1335, 210);
    Expect("USB selected", 0, static_cast<int>(Checked(Option(L"USB"))));

    const wchar_t* labels[5] = {L"Bits per second : ", L"Data bits : ", L"Parity : ", L"Stop bits : ", L"Flow control : "};
    const int counts[5] = {7, 5, 5, 3, 3};
    const wchar_t* defaults[5] = {L"9600", L"8", L"None", L"1", L"Hardware"};
    for (int i = 0; i < 5; ++i) {
        HWND combo = Combo(i);
        ExpectRect("list " + std::to_string(i), combo, 1725 + 1680, 75 + 210 + 300 * i, 1530, 0);
        if (!combo) continue;
        Expect("list " + std::to_string(i) + " is a drop-down list", 1,
               static_cast<int>((::GetWindowLongPtrW(combo, GWL_STYLE) & 3) == CBS_DROPDOWNLIST));
        Expect("list " + std::to_string(i) + " entries", counts[i], static_cast<int>(::SendMessageW(combo, CB_GETCOUNT, 0, 0)));
        Expect<std::string>("list " + std::to_string(i) + " default", Narrow(defaults[i]), Narrow(SelectedDisplay(combo)));
        const RECT r = ClientRectOf(combo);
        const int dropped = static_cast<int>(::SendMessageW(combo, CB_GETDROPPEDWIDTH, 0, 0));
        if (dropped < r.right - r.left) Fail("dropped width", "at least the list's width", std::to_string(dropped));
        HWND label = Child(L"Static", labels[i]);
        if (!label) { Fail("label", Narrow(labels[i]), "none"); continue; }
        const RECT l = ClientRectOf(label);
        ExpectPx("label " + Narrow(labels[i]) + " ends where the lists begin", static_cast<int>(ClientRectOf(combo).left),
                 static_cast<int>(l.right));
        ExpectCaptionFits(label, 0);
        Expect("label " + Narrow(labels[i]) + " right-aligned", 1, static_cast<int>((::GetWindowLongPtrW(label, GWL_STYLE) & 0x1F) == SS_RIGHT));
        const int line = static_cast<int>(std::lround(13.0 * g_dpi / 96.0));
        if (l.bottom - l.top < line - 3 || l.bottom - l.top > line * 2 - 2)
            Fail("label height", "one text line", std::to_string(l.bottom - l.top));
    }
    Expect<std::string>("first speed entry", "9600" + std::string(100, ' ') + "9600", Narrow(ComboText(Combo(0), 2)));

    // Captions fit: buttons and group boxes whole, options beside their check box.
    for (const wchar_t* caption : {L"Next (&N)", L"Delete (&X)", L"Serial Port", L"USB Port", L"COM Port Properties"})
        if (HWND c = Child(L"Button", caption)) ExpectCaptionFits(c, 0);
    for (const wchar_t* caption : {L"COM1", L"COM2", L"COM3", L"COM4", L"USB"})
        if (HWND c = Child(L"Button", caption)) ExpectCaptionFits(c, ::GetSystemMetrics(SM_CXMENUCHECK) + 4);

    // Tab order: the tab stops in the order they are met.
    std::string order;
    for (HWND c = ::GetWindow(g_window, GW_CHILD); c; c = ::GetWindow(c, GW_HWNDNEXT))
        if (Styled(c, WS_TABSTOP)) order += (ClassOf(c) == L"ComboBox" ? std::string("[list]") : Narrow(TextOf(c))) + "|";
    Expect<std::string>("tab order", "Next (&N)|Delete (&X)|COM1|USB|[list]|[list]|[list]|[list]|[list]|", order);
}

void Screenshot(const std::string& path) {
    ::RedrawWindow(g_window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN | RDW_FRAME);
    ::Sleep(300);
    RECT r{};
    ::GetWindowRect(g_window, &r);
    const int w = r.right - r.left, h = r.bottom - r.top;
    HDC screen = ::GetDC(nullptr);
    HDC memory = ::CreateCompatibleDC(screen);
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), w, -h, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    HBITMAP bitmap = ::CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = ::SelectObject(memory, bitmap);
    ::BitBlt(memory, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
    std::vector<std::uint8_t> rgb(static_cast<std::size_t>(w) * h * 3);
    const auto* px = static_cast<const std::uint8_t*>(bits);
    for (int i = 0; i < w * h; ++i) {
        rgb[i * 3] = px[i * 4 + 2];
        rgb[i * 3 + 1] = px[i * 4 + 1];
        rgb[i * 3 + 2] = px[i * 4];
    }
    ::SelectObject(memory, old);
    ::DeleteObject(bitmap);
    ::DeleteDC(memory);
    ::ReleaseDC(nullptr, screen);
    if (!e2e::WritePng(path, w, h, rgb)) Fail("screenshot", "written to " + path, "an error");
    else std::printf("screenshot: %s (%dx%d)\n", path.c_str(), w, h);
}

// Starts the exe with the given argument text exactly as written after it.
void Start(const std::string& show, const std::string& exe, const std::string& arguments) {
    std::wstring line = L"\"" + Widen(exe) + L"\"";
    if (!arguments.empty()) line += L" " + Widen(arguments);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    if (show != "default") {
        si.dwFlags = STARTF_USESHOWWINDOW;
        si.wShowWindow = show == "hidden" ? SW_HIDE : show == "minimized" ? SW_SHOWMINNOACTIVE : SW_SHOWNORMAL;
    }
    BOOL started = ::CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &g_process);
    // Wine answers ERROR_INTERNAL_ERROR when the new process's Unix side died
    // before Windows code ran in it (seen rarely, at random, under load): the
    // program under test never ran, so one more start is not a second chance
    // for it. Said in the output, so that a run shows how often it happens.
    if (!started && ::GetLastError() == ERROR_INTERNAL_ERROR) {
        std::printf("start: Wine could not start the process (error 1359), starting it once more\n");
        ::Sleep(500);
        started = ::CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &g_process);
    }
    if (!started)
        Fail("start", Narrow(line), "error " + std::to_string(::GetLastError()));
    else
        std::printf("started: %s\n", Narrow(line).c_str());
}

bool WaitWindow(DWORD ms) {
    for (DWORD waited = 0; waited <= ms; waited += 50) {
        g_window = FindTopLevel(L"Port Management", nullptr);
        if (g_window) return true;
        if (g_process.hProcess && ::WaitForSingleObject(g_process.hProcess, 0) == WAIT_OBJECT_0) break;
        ::Sleep(50);
    }
    Fail("window", "a visible \"Port Management\" window", "none");
    return false;
}

void Click(HWND h, const std::string& what) {
    if (!h) return Fail(what, "the control", "none");
    g_lastClick = ::GetTickCount64();
    ::PostMessageW(h, BM_CLICK, 0, 0);
    ::Sleep(200);  // let the window handle it
}

void Pick(int list, const std::string& display) {
    HWND combo = Combo(list);
    if (!combo) return Fail("list " + std::to_string(list), "the list", "none");
    const int count = static_cast<int>(::SendMessageW(combo, CB_GETCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        const std::wstring text = ComboText(combo, i);
        if (Narrow(text.substr(0, text.find(L' '))) != display) continue;
        ::SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(i), 0);
        ::SendMessageW(g_window, WM_COMMAND, MAKEWPARAM(::GetDlgCtrlID(combo), CBN_SELCHANGE), reinterpret_cast<LPARAM>(combo));
        return;
    }
    Fail("list " + std::to_string(list), "an entry " + display, "none");
}

void AnswerMessage(DWORD ms, const std::string& expectedPart) {
    for (DWORD waited = 0; waited <= ms; waited += 100) {
        if (HWND box = FindTopLevel(nullptr, L"#32770")) {
            std::wstring text;
            for (HWND c = ::GetWindow(box, GW_CHILD); c; c = ::GetWindow(c, GW_HWNDNEXT))
                if (ClassOf(c) == L"Static") text += TextOf(c);
            std::printf("message box \"%s\": %s\n", Narrow(TextOf(box)).c_str(), Narrow(text).c_str());
            if (Narrow(text).find(expectedPart) == std::string::npos) Fail("message box", "a text with " + expectedPart, Narrow(text));
            ::PostMessageW(box, WM_COMMAND, IDOK, 0);
            return;
        }
        ::Sleep(100);
    }
    Fail("message box", "one", "none within " + std::to_string(ms) + " ms");
}

void WaitExit(DWORD ms, const std::string& expectedCode) {
    if (!g_process.hProcess) return Fail("exit", "a started process", "none");
    if (::WaitForSingleObject(g_process.hProcess, ms) != WAIT_OBJECT_0)
        return Fail("exit", "the program to end within " + std::to_string(ms) + " ms", "it still running");
    g_exitedAfter = ::GetTickCount64() - g_lastClick;
    DWORD code = 0;
    ::GetExitCodeProcess(g_process.hProcess, &code);
    std::printf("exited: code %lu\n", code);
    if (expectedCode != "any") Expect("exit code", std::atoi(expectedCode.c_str()), static_cast<int>(code));
}

bool Flag(const std::string& s) { return s == "1" || s == "yes" || s == "true"; }

// The control that has the keyboard focus in the program's window.
HWND Focus() {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    if (!g_window || !::GetGUIThreadInfo(::GetWindowThreadProcessId(g_window, nullptr), &info)) return nullptr;
    return info.hwndFocus;
}

// A control as the tests name it: its caption, or "list N" for the Nth list.
std::string NameOf(HWND h) {
    if (!h) return "none";
    if (ClassOf(h) == L"ComboBox") {
        for (int i = 0; i < 5; ++i)
            if (Combo(i) == h) return "list " + std::to_string(i);
    }
    if (h == g_window) return "the window";
    return Narrow(TextOf(h));
}

// Keys as a user types them, through the system's input queue to the
// foreground window: "tab", "shift+tab", "alt+n", "n", "enter", "space",
// "down", "up", "alt+down", "escape".
void Keys(const std::string& typed) {
    ::SetForegroundWindow(g_window);
    ::Sleep(50);
    std::vector<WORD> modifiers;
    std::string key = typed;
    for (std::size_t plus; (plus = key.find('+')) != std::string::npos; key = key.substr(plus + 1)) {
        const std::string m = key.substr(0, plus);
        modifiers.push_back(m == "shift" ? VK_SHIFT : m == "alt" ? VK_MENU : VK_CONTROL);
    }
    WORD vk = 0;
    if (key == "tab") vk = VK_TAB;
    else if (key == "enter") vk = VK_RETURN;
    else if (key == "space") vk = VK_SPACE;
    else if (key == "down") vk = VK_DOWN;
    else if (key == "up") vk = VK_UP;
    else if (key == "escape") vk = VK_ESCAPE;
    else if (key.size() == 1) vk = static_cast<WORD>(std::toupper(static_cast<unsigned char>(key[0])));
    else return Fail("key", "a known key", typed);
    std::vector<INPUT> inputs;
    auto add = [&](WORD k, bool up) {
        INPUT in{};
        in.type = INPUT_KEYBOARD;
        in.ki.wVk = k;
        in.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
        inputs.push_back(in);
    };
    for (WORD m : modifiers) add(m, false);
    add(vk, false);
    add(vk, true);
    for (auto it = modifiers.rbegin(); it != modifiers.rend(); ++it) add(*it, true);
    ::SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
    ::Sleep(250);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    // Real pixels of the window under test, at whatever DPI the screen has.
    ::SetProcessDPIAware();
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) args.push_back(Utf8(argv[i]));
    for (std::size_t i = 0; i < args.size() && !g_failed; ++i) {
        const std::string& step = args[i];
        auto next = [&]() -> std::string { return i + 1 < args.size() ? args[++i] : std::string(); };
        if (step == "start") {
            const std::string show = next(), exe = next(), arguments = next();
            Start(show, exe, arguments);
        } else if (step == "wait-window") {
            WaitWindow(static_cast<DWORD>(std::atoi(next().c_str())));
        } else if (step == "dpi") {
            g_dpi = static_cast<unsigned>(std::atoi(next().c_str()));
        } else if (step == "keys") {
            // Several keys, separated by blanks, each typed after the last.
            const std::string sequence = next();
            for (std::size_t start = 0; start <= sequence.size() && !g_failed;) {
                const std::size_t blank = std::min(sequence.find(' ', start), sequence.size());
                Keys(sequence.substr(start, blank - start));
                start = blank + 1;
            }
        } else if (step == "expect-focus") {
            // Wine gives a new window the focus when X activates it, which can
            // come a moment after the window shows: wait up to 2 s for it.
            const std::string expected = next();
            std::string seen = NameOf(Focus());
            for (int waited = 0; seen != expected && waited < 2000; waited += 20) {
                ::Sleep(20);
                seen = NameOf(Focus());
            }
            Expect<std::string>("focus", expected, seen);
        } else if (step == "check-label-walk") {
            // What a screen reader names each list after: the first static text
            // (or control with WS_GROUP | WS_TABSTOP) before it in the z-order.
            const wchar_t* labels[5] = {L"Bits per second : ", L"Data bits : ", L"Parity : ", L"Stop bits : ", L"Flow control : "};
            for (int i = 0; i < 5; ++i) {
                HWND h = Combo(i);
                for (h = h ? ::GetWindow(h, GW_HWNDPREV) : nullptr; h; h = ::GetWindow(h, GW_HWNDPREV)) {
                    if (ClassOf(h) == L"Static" || Styled(h, WS_GROUP | WS_TABSTOP)) break;
                }
                Expect<std::string>("list " + std::to_string(i) + " named after",
                                    "static \"" + Narrow(labels[i]) + "\"",
                                    h ? Narrow(ClassOf(h)) == "Static" ? "static \"" + Narrow(TextOf(h)) + "\""
                                                                      : Narrow(ClassOf(h)) + " \"" + Narrow(TextOf(h)) + "\""
                                      : std::string("nothing"));
            }
        } else if (step == "check-layout") {
            CheckLayout();
        } else if (step == "screenshot") {
            Screenshot(next());
        } else if (step == "click-com") {
            Click(Option(L"COM" + Widen(next())), "COM option");
        } else if (step == "click-usb") {
            Click(Option(L"USB"), "USB option");
        } else if (step == "pick") {
            const int list = std::atoi(next().c_str());
            Pick(list, next());
        } else if (step == "next") {
            Click(Child(L"Button", L"Next (&N)"), "Next");
        } else if (step == "delete") {
            Click(Child(L"Button", L"Delete (&X)"), "Delete");
        } else if (step == "mnemonic") {
            // Alt+letter as the keyboard sends it to the window with the focus.
            const std::string key = next();
            HWND focus = Child(L"Button", L"COM1");
            ::PostMessageW(focus, WM_SYSKEYDOWN, VK_MENU, 0x20000000);
            ::PostMessageW(focus, WM_SYSCHAR, static_cast<WPARAM>(std::tolower(key[0])), 0x20000000);
            ::Sleep(300);
        } else if (step == "expect-com") {
            const int expected = std::atoi(next().c_str());
            for (int n = 1; n <= 4; ++n)
                Expect("COM" + std::to_string(n) + " selected", n == expected ? 1 : 0,
                       static_cast<int>(Checked(Option(L"COM" + std::to_wstring(n)))));
        } else if (step == "expect-usb") {
            Expect("USB selected", Flag(next()) ? 1 : 0, static_cast<int>(Checked(Option(L"USB"))));
        } else if (step == "expect-properties") {
            HWND group = Child(L"Button", L"COM Port Properties");
            const bool visible = Flag(next()), enabled = Flag(next());
            Expect("properties visible", visible ? 1 : 0, static_cast<int>(::IsWindowVisible(group) != 0));
            Expect("properties enabled", enabled ? 1 : 0, static_cast<int>(::IsWindowEnabled(group) != 0));
            for (int l = 0; l < 5; ++l)
                Expect("list " + std::to_string(l) + " visible", visible ? 1 : 0, static_cast<int>(::IsWindowVisible(Combo(l)) != 0));
        } else if (step == "expect-selected") {
            const int list = std::atoi(next().c_str());
            Expect<std::string>("list " + std::to_string(list) + " selection", next(), Narrow(SelectedDisplay(Combo(list))));
        } else if (step == "answer-message") {
            const DWORD ms = static_cast<DWORD>(std::atoi(next().c_str()));
            AnswerMessage(ms, next());
        } else if (step == "expect-no-message") {
            if (FindTopLevel(nullptr, L"#32770")) Fail("message box", "none", "one");
        } else if (step == "close") {
            ::PostMessageW(g_window, WM_CLOSE, 0, 0);
        } else if (step == "wait-exit") {
            const DWORD ms = static_cast<DWORD>(std::atoi(next().c_str()));
            WaitExit(ms, next());
        } else if (step == "expect-ended-after") {
            // The program ended at least this long after the last click.
            const ULONGLONG ms = static_cast<ULONGLONG>(std::atoi(next().c_str()));
            std::printf("ended %llu ms after the click\n", g_exitedAfter);
            if (g_exitedAfter < ms) Fail("time to end", "at least " + std::to_string(ms) + " ms", std::to_string(g_exitedAfter) + " ms");
        } else if (step == "wait-exit-unseen") {
            // As wait-exit, watching all along that no window of the program shows.
            const DWORD ms = static_cast<DWORD>(std::atoi(next().c_str()));
            const std::string code = next();
            g_window = nullptr;
            for (DWORD waited = 0; g_process.hProcess && waited < ms; waited += 20) {
                if (::WaitForSingleObject(g_process.hProcess, 20) == WAIT_OBJECT_0) break;
                if (HWND seen = FindTopLevel(nullptr, nullptr)) {
                    Fail("windows while running", "none shown", "\"" + Narrow(TextOf(seen)) + "\"");
                    break;
                }
            }
            if (!g_failed) WaitExit(ms, code);
        } else if (step == "expect-responsive") {
            // The window answers a message within the time given.
            const UINT ms = static_cast<UINT>(std::atoi(next().c_str()));
            DWORD_PTR result = 0;
            const ULONGLONG t0 = ::GetTickCount64();
            const LRESULT ok = ::SendMessageTimeoutW(g_window, WM_NULL, 0, 0, SMTO_NORMAL, ms, &result);
            const ULONGLONG took = ::GetTickCount64() - t0;
            std::printf("window answered: %s after %llu ms\n", ok ? "yes" : "no", took);
            if (!ok) Fail("window answers", "within " + std::to_string(ms) + " ms", "no answer");
        } else if (step == "expect-input-blocked") {
            Expect("window takes input", 0, static_cast<int>(::IsWindowEnabled(g_window) != 0));
        } else if (step == "list-drivers") {
            DWORD needed = 0, count = 0;
            ::EnumPrinterDriversW(nullptr, nullptr, 1, nullptr, 0, &needed, &count);
            std::vector<BYTE> buffer(needed + 1);
            if (::EnumPrinterDriversW(nullptr, nullptr, 1, buffer.data(), needed, &needed, &count)) {
                const auto* info = reinterpret_cast<const DRIVER_INFO_1W*>(buffer.data());
                for (DWORD d = 0; d < count; ++d) std::printf("printer driver: %s\n", Utf8(info[d].pName).c_str());
            }
        } else if (step == "state") {
            // The whole observable print state in one go: printers with their
            // ports and drivers, drivers, the default printer, and which of
            // our programs or the printer setup tool's stand-in still run.
            DWORD needed = 0, count = 0;
            ::EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 2, nullptr, 0, &needed, &count);
            std::vector<BYTE> printers(needed + 1);
            if (::EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 2, printers.data(), needed, &needed, &count)) {
                const auto* info = reinterpret_cast<const PRINTER_INFO_2W*>(printers.data());
                for (DWORD p = 0; p < count; ++p)
                    std::printf("printer: %s\t%s\t%s\n", Utf8(info[p].pPrinterName).c_str(),
                                Utf8(info[p].pPortName ? info[p].pPortName : L"").c_str(),
                                Utf8(info[p].pDriverName ? info[p].pDriverName : L"").c_str());
            }
            needed = count = 0;
            ::EnumPrinterDriversW(nullptr, nullptr, 1, nullptr, 0, &needed, &count);
            std::vector<BYTE> drivers(needed + 1);
            if (::EnumPrinterDriversW(nullptr, nullptr, 1, drivers.data(), needed, &needed, &count)) {
                const auto* info = reinterpret_cast<const DRIVER_INFO_1W*>(drivers.data());
                for (DWORD d = 0; d < count; ++d) std::printf("printer driver: %s\n", Utf8(info[d].pName).c_str());
            }
            wchar_t name[512] = {};
            DWORD size = 512;
            if (::GetDefaultPrinterW(name, &size)) std::printf("default: %s\n", Utf8(name).c_str());
            HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
            PROCESSENTRY32W entry{};
            entry.dwSize = sizeof entry;
            for (BOOL more = ::Process32FirstW(snapshot, &entry); more; more = ::Process32NextW(snapshot, &entry)) {
                const std::wstring exe = entry.szExeFile;
                for (const wchar_t* ours : {L"PortSetup.exe", L"PortSetupCli.exe", L"rundll32.exe"})
                    if (::lstrcmpiW(exe.c_str(), ours) == 0) std::printf("process: %s\n", Narrow(exe).c_str());
            }
            ::CloseHandle(snapshot);
        } else if (step == "expect-no-window") {
            g_window = nullptr;
            if (FindTopLevel(nullptr, nullptr)) Fail("windows", "none left", "a window of the program");
        } else if (step == "list-printers") {
            DWORD needed = 0, count = 0;
            ::EnumPrintersW(PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS, nullptr, 4, nullptr, 0, &needed, &count);
            std::vector<BYTE> buffer(needed + 1);
            if (::EnumPrintersW(PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS, nullptr, 4, buffer.data(), needed, &needed, &count)) {
                const auto* info = reinterpret_cast<const PRINTER_INFO_4W*>(buffer.data());
                for (DWORD p = 0; p < count; ++p) std::printf("printer: %s\n", Utf8(info[p].pPrinterName).c_str());
            }
        } else if (step == "sleep") {
            ::Sleep(static_cast<DWORD>(std::atoi(next().c_str())));
        } else {
            Fail("step", "a known step", step);
        }
    }
    if (g_failed && g_process.hProcess && ::WaitForSingleObject(g_process.hProcess, 0) != WAIT_OBJECT_0)
        ::TerminateProcess(g_process.hProcess, 99);
    std::printf(g_failed ? "driver: FAILED\n" : "driver: ok\n");
    return g_failed ? 1 : 0;
}
