#include "forms/Win32Form1.h"

#include "cli/FileSafety.h"
#include "forms/Form1.h"
#include "forms/Win32Controls.h"
#include "platform/Win32Handles.h"
#include "platform/Win32Api.h"
#include "platform/Win32Seams.h"
#include "platform/Win32Registry.h"
#include "resource.h"
#include "setup/Architecture.h"
#include "setup/ExitCodes.h"
#include "setup/Workflows.h"

#include <commctrl.h>

#include <array>
#include <string>

namespace forms {

namespace {

// The window's driver package, taken as the console program takes it: where
// others can change the program's folder, a copy in the machine folder that
// only SYSTEM and Administrators can change, made (and the machine folder
// with it) only then.
class ProtectedPackages : public PackageSource {
public:
    setup::PackageFolderChoice Choose(std::u16string_view programDirectory) override {
        class Copier : public setup::PackageCopier {
        public:
            Copier(platform::Win32System& system, platform::Win32Files& files) : system_(system), files_(files) {}
            std::optional<std::u16string> Copy(platform::HeldFolder& package, std::u16string& copyPath) override {
                const cli::MachineFolders folders = cli::PrepareMachineFolders(system_, files_);
                if (!folders.rootFolder) return u"no protected folder is at hand (" + folders.reason + u")";
                return setup::CopyPackage(package, *folders.rootFolder, copyPath);
            }

        private:
            platform::Win32System& system_;
            platform::Win32Files& files_;
        } copier(system_, files_);
        return setup::ChoosePackageFolder(files_, programDirectory, system_.RunningUserSid(), &copier);
    }

private:
    platform::Win32System system_;
    platform::Win32Files files_;
};

constexpr wchar_t kClassName[] = L"PortSetupForm1";
constexpr float kClientWidth = 5025;  // twips
constexpr float kClientHeight = 3525;
constexpr float kLabelsEnd = 1680;    // where the lists begin, inside the properties group
constexpr UINT WM_APP_FIRST_ACTIVATION = WM_APP + 1;

enum ControlId : int {
    IdCommand1 = 100,
    IdCmdDelete = 101,
    IdOption1 = 110,  // to 113
    IdOption2 = 120,
    IdCombo1 = 130,   // to 134
    IdFrame1 = 140,   // to 142
    IdLabel1 = 150,   // to 154
};

// Position and size in twips, relative to the client area.
struct TwipRect {
    float left, top, width, height;
};

struct PixelRect {
    int x, y, w, h;
};

constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
constexpr DWORD kExStyle = WS_EX_CONTROLPARENT;

// The frames' positions; controls inside them are placed relative to these.
constexpr TwipRect kFrames[3] = {
    {30, 45, 1605, 1830},    // "Serial Port"
    {30, 1950, 1605, 1050},  // "USB Port"
    {1725, 75, 3255, 1800},  // "COM Port Properties"
};
constexpr const wchar_t* kFrameCaptions[3] = {L"Serial Port", L"USB Port", L"COM Port Properties"};

TwipRect Inside(int frame, TwipRect r) {
    return {kFrames[frame].left + r.left, kFrames[frame].top + r.top, r.width, r.height};
}
TwipRect OptionRect(int i) { return Inside(0, {165, 285.0f + 400.0f * static_cast<float>(i), 930, 270}); }
TwipRect UsbRect() { return Inside(1, {165, 500, 1335, 210}); }
TwipRect ComboRect(int i) { return Inside(2, {1680, 210.0f + 300.0f * static_cast<float>(i), 1530, 300}); }
constexpr float kLabelTops[5] = {270, 570, 870, 1170, 1470};
constexpr TwipRect kCommand1 = {3750, 3105, 1215, 375};
constexpr TwipRect kCmdDelete = {60, 3105, 1185, 375};

unsigned WindowDpi(HWND hwnd) {
    if (const auto getDpi = platform::User32().GetDpiForWindow) {
        if (const UINT dpi = getDpi(hwnd)) return dpi;
    }
    return platform::ScreenDpi();
}

class PortManagementWindow {
public:
    PortManagementWindow(HINSTANCE instance, const setup::Product& product) : instance_(instance), product_(product) {}

    int Run();
    // Ends a run before its removal began: exit code 1, and for DEL its event.
    int NotStarted(std::u16string_view what);

private:
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);
    void CreateControls();
    void PrepareFont();
    void Layout();
    SIZE OuterSize() const;
    PixelRect Px(const TwipRect& r) const;
    PixelRect LabelRect(int i) const;
    PixelRect ListRect(int i) const;
    int DroppedWidth() const;
    HWND AddControl(const wchar_t* className, const wchar_t* caption, DWORD style, int id, const PixelRect& r);
    void OnCommand(int id, int notification);
    void KeepOptionGroupsReachable();
    bool HandleKey(const MSG& msg);
    bool RegisterWindowClass(HICON& icon, HICON& smallIcon);
    bool CreateMainWindow(HICON icon, HICON smallIcon);
    void Show(Form1& form);
    int MessageLoop();

    HINSTANCE instance_;
    const setup::Product& product_;
    HWND hwnd_ = nullptr;
    unsigned dpi_ = 96;
    platform::GdiObject font_;
    int lineHeight_ = 13;
    int widestDisplay_ = 0;
    std::array<int, 5> labelWidths_{};
    HWND focus_ = nullptr;

    Win32Window window_;
    std::array<Win32Option, 4> option1_;
    Win32Option option2_;
    std::array<Win32Group, 3> frame1_;
    std::array<Win32List, 5> combo1_;
    std::array<HWND, 5> label1_{};
    HWND command1_ = nullptr;
    HWND cmdDelete_ = nullptr;

    platform::Win32Machine machine_;
    platform::Win32Processes processes_;
    platform::Win32PrinterList printers_;
    platform::Win32Registry registry_;
    platform::Win32EventLog events_;
    Form1* form_ = nullptr;
};

HWND PortManagementWindow::AddControl(const wchar_t* className, const wchar_t* caption, DWORD style, int id,
                                      const PixelRect& r) {
    HWND control = ::CreateWindowExW(0, className, caption, WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | style, r.x, r.y, r.w,
                                     r.h, hwnd_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance_, nullptr);
    ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), FALSE);
    return control;
}

void PortManagementWindow::CreateControls() {
    // Creation order is the tab order: buttons, COM options, USB, the lists;
    // each list's label comes right before it, so that screen readers name
    // the list after it (labels take no focus). The frames come last and lie
    // beneath.
    command1_ = AddControl(WC_BUTTONW, L"Next (&N)", WS_TABSTOP | WS_GROUP | BS_PUSHBUTTON, IdCommand1, Px(kCommand1));
    cmdDelete_ = AddControl(WC_BUTTONW, L"Delete (&X)", WS_TABSTOP | WS_GROUP | BS_PUSHBUTTON, IdCmdDelete, Px(kCmdDelete));
    // Literal captions: number formatting would link the C library's whole
    // wide printf into the exe.
    static constexpr const wchar_t* kComCaptions[] = {L"COM1", L"COM2", L"COM3", L"COM4"};
    for (int i = 0; i < 4; ++i) {
        option1_[i].hwnd = AddControl(WC_BUTTONW, kComCaptions[i], BS_AUTORADIOBUTTON | (i == 0 ? WS_GROUP | WS_TABSTOP : 0),
                                      IdOption1 + i, Px(OptionRect(i)));
    }
    option2_.hwnd = AddControl(WC_BUTTONW, L"USB", BS_AUTORADIOBUTTON | WS_GROUP | WS_TABSTOP, IdOption2, Px(UsbRect()));
    for (int i = 0; i < 5; ++i) {
        const std::u16string caption(SerialLists()[i].label);
        label1_[i] = AddControl(WC_STATICW, platform::Wide(caption), SS_RIGHT | SS_NOPREFIX, IdLabel1 + i, LabelRect(i));
        combo1_[i].hwnd = AddControl(WC_COMBOBOXW, L"", CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP | WS_GROUP,
                                     IdCombo1 + i, ListRect(i));
        ::SendMessageW(combo1_[i].hwnd, CB_SETDROPPEDWIDTH, static_cast<WPARAM>(DroppedWidth()), 0);
    }
    frame1_[2].hwnd = AddControl(WC_BUTTONW, kFrameCaptions[2], BS_GROUPBOX | WS_GROUP, IdFrame1 + 2, Px(kFrames[2]));
    frame1_[1].hwnd = AddControl(WC_BUTTONW, kFrameCaptions[1], BS_GROUPBOX, IdFrame1 + 1, Px(kFrames[1]));
    frame1_[0].hwnd = AddControl(WC_BUTTONW, kFrameCaptions[0], BS_GROUPBOX, IdFrame1 + 0, Px(kFrames[0]));

    for (const Win32Option& option : option1_) frame1_[0].members.push_back(option.hwnd);
    frame1_[1].members.push_back(option2_.hwnd);
    for (const Win32List& list : combo1_) frame1_[2].members.push_back(list.hwnd);
    for (HWND label : label1_) frame1_[2].members.push_back(label);
    ::SendMessageW(option1_[0].hwnd, BM_SETCHECK, BST_CHECKED, 0);
}

PixelRect PortManagementWindow::Px(const TwipRect& r) const {
    return {TwipsToPixels(r.left, dpi_), TwipsToPixels(r.top, dpi_), TwipsToPixels(r.width, dpi_),
            TwipsToPixels(r.height, dpi_)};
}

// Labels: one line high, as wide as their caption, ending where the lists begin.
PixelRect PortManagementWindow::LabelRect(int i) const {
    const TwipRect end = Inside(2, {kLabelsEnd, kLabelTops[i], 0, 0});
    const int right = TwipsToPixels(end.left, dpi_);
    return {right - labelWidths_[i], TwipsToPixels(end.top, dpi_), labelWidths_[i], lineHeight_};
}

// Lists: the height given is the field's and the dropped list's together.
PixelRect PortManagementWindow::ListRect(int i) const {
    PixelRect r = Px(ComboRect(i));
    r.h += (lineHeight_ + 2) * 8;
    return r;
}

// Dropped open, a list is wide enough for the display text; the 100 spaces
// keep the code beyond its right edge.
int PortManagementWindow::DroppedWidth() const {
    return std::max(Px(ComboRect(0)).w, widestDisplay_ + ::GetSystemMetrics(SM_CXVSCROLL) + TwipsToPixels(240, dpi_));
}

// The system's message font at the current DPI, and the text sizes the
// layout depends on.
void PortManagementWindow::PrepareFont() {
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    const auto forDpi = platform::User32().SystemParametersInfoForDpi;
    if (!(forDpi && forDpi(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0, dpi_))) {
        ::SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
        metrics.lfMessageFont.lfHeight = ::MulDiv(metrics.lfMessageFont.lfHeight, static_cast<int>(dpi_),
                                                  static_cast<int>(platform::ScreenDpi()));
    }
    font_.reset(::CreateFontIndirectW(&metrics.lfMessageFont));

    platform::WindowDC screen(nullptr);
    screen.Select(font_.get());
    auto width = [&](std::u16string_view text) {
        SIZE extent{};
        ::GetTextExtentPoint32W(screen.get(), reinterpret_cast<const wchar_t*>(text.data()), static_cast<int>(text.size()),
                                &extent);
        return static_cast<int>(extent.cx);
    };
    TEXTMETRICW tm{};
    ::GetTextMetricsW(screen.get(), &tm);
    lineHeight_ = tm.tmHeight;
    widestDisplay_ = 0;
    for (int i = 0; i < 5; ++i) {
        labelWidths_[i] = width(SerialLists()[i].label);
        for (const ListEntry& entry : SerialLists()[i].entries) widestDisplay_ = std::max(widestDisplay_, width(entry.display));
    }
}

// The window's outer size for the client area at the current DPI.
SIZE PortManagementWindow::OuterSize() const {
    RECT outer = {0, 0, TwipsToPixels(kClientWidth, dpi_), TwipsToPixels(kClientHeight, dpi_)};
    const auto adjustForDpi = platform::User32().AdjustWindowRectExForDpi;
    if (!(adjustForDpi && adjustForDpi(&outer, kStyle, FALSE, kExStyle, dpi_)))
        ::AdjustWindowRectEx(&outer, kStyle, FALSE, kExStyle);
    return {outer.right - outer.left, outer.bottom - outer.top};
}

// After a DPI change: a new font, the window resized and every control placed again.
void PortManagementWindow::Layout() {
    PrepareFont();
    const SIZE outer = OuterSize();
    ::SetWindowPos(hwnd_, nullptr, 0, 0, outer.cx, outer.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    auto place = [](HWND control, const PixelRect& r) {
        ::SetWindowPos(control, nullptr, r.x, r.y, r.w, r.h, SWP_NOZORDER | SWP_NOACTIVATE);
    };
    for (HWND child = ::GetWindow(hwnd_, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT))
        ::SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), TRUE);
    place(command1_, Px(kCommand1));
    place(cmdDelete_, Px(kCmdDelete));
    for (int i = 0; i < 3; ++i) place(frame1_[i].hwnd, Px(kFrames[i]));
    for (int i = 0; i < 4; ++i) place(option1_[i].hwnd, Px(OptionRect(i)));
    place(option2_.hwnd, Px(UsbRect()));
    for (int i = 0; i < 5; ++i) {
        place(label1_[i], LabelRect(i));
        place(combo1_[i].hwnd, ListRect(i));
        ::SendMessageW(combo1_[i].hwnd, CB_SETDROPPEDWIDTH, static_cast<WPARAM>(DroppedWidth()), 0);
    }
}

void PortManagementWindow::OnCommand(int id, int notification) {
    if (notification != BN_CLICKED) return;
    if (id == IdCommand1) {
        form_->Command1_Click();
    } else if (id == IdCmdDelete) {
        form_->cmdDelete_Click();
    } else if (id >= IdOption1 && id < IdOption1 + 4) {
        form_->Option1_Click(id - IdOption1);
        KeepOptionGroupsReachable();
    } else if (id == IdOption2) {
        form_->Option2_Click();
        KeepOptionGroupsReachable();
    }
}

// Clearing an option's check from code also clears its tab stop: each option
// group keeps one, on its selected option, or on its first when none is, so
// that Tab always reaches both groups.
void PortManagementWindow::KeepOptionGroupsReachable() {
    auto setTabStop = [](HWND control, bool on) {
        const LONG_PTR style = ::GetWindowLongPtrW(control, GWL_STYLE);
        ::SetWindowLongPtrW(control, GWL_STYLE, on ? style | WS_TABSTOP : style & ~static_cast<LONG_PTR>(WS_TABSTOP));
    };
    int holder = 0;
    for (int i = 0; i < 4; ++i) {
        if (::SendMessageW(option1_[i].hwnd, BM_GETCHECK, 0, 0) == BST_CHECKED) {
            holder = i;
            break;
        }
    }
    for (int i = 0; i < 4; ++i) setTabStop(option1_[i].hwnd, i == holder);
    setTabStop(option2_.hwnd, true);
}

// The keys the dialog manager gets wrong for this window, before it sees
// them: Enter presses the focused push button (elsewhere it does nothing, as
// the window has no default button); a plain letter never presses a button
// (the dialog manager takes it for a mnemonic where the focused control does
// not want characters) - only Alt+letter does.
bool PortManagementWindow::HandleKey(const MSG& msg) {
    if (msg.message == WM_KEYDOWN && msg.wParam == VK_RETURN && (msg.hwnd == command1_ || msg.hwnd == cmdDelete_)) {
        ::SendMessageW(msg.hwnd, BM_CLICK, 0, 0);
        return true;
    }
    if (msg.message == WM_CHAR && (msg.hwnd == hwnd_ || ::IsChild(hwnd_, msg.hwnd))) {
        const LRESULT wants = ::SendMessageW(msg.hwnd, WM_GETDLGCODE, msg.wParam, reinterpret_cast<LPARAM>(&msg));
        if (!(wants & (DLGC_WANTCHARS | DLGC_WANTALLKEYS | DLGC_WANTMESSAGE))) return true;  // dropped
    }
    return false;
}

LRESULT PortManagementWindow::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_COMMAND:
        if (lParam != 0) OnCommand(LOWORD(wParam), HIWORD(wParam));
        return 0;
    case WM_ACTIVATE:
        if (LOWORD(wParam) == WA_INACTIVE) {
            focus_ = ::GetFocus();
        } else {
            ::SetFocus(focus_ && ::IsChild(hwnd_, focus_) ? focus_ : command1_);
            form_->Form_Activate();
        }
        return 0;
    case WM_APP_FIRST_ACTIVATION:
        // The system may not activate a hidden or minimized window: the first
        // activation is then handled here, so an unattended run never waits.
        form_->Form_Activate();
        return 0;
    case WM_SETCURSOR:
        if (window_.busy) {
            ::SetCursor(::LoadCursorW(nullptr, IDC_WAIT));
            return TRUE;
        }
        return ::DefWindowProcW(hwnd_, message, wParam, lParam);
    case WM_CLOSE:
        // Alt+F4 or the task bar's Close while a workflow runs: ignored, the
        // workflow ends the program itself.
        if (form_->Busy()) return 0;
        return ::DefWindowProcW(hwnd_, message, wParam, lParam);
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
        ::SetBkColor(reinterpret_cast<HDC>(wParam), ::GetSysColor(COLOR_BTNFACE));
        return reinterpret_cast<LRESULT>(::GetSysColorBrush(COLOR_BTNFACE));
    case WM_DPICHANGED: {
        dpi_ = HIWORD(wParam);
        window_.dpi = dpi_;
        const RECT* suggested = reinterpret_cast<const RECT*>(lParam);
        ::SetWindowPos(hwnd_, nullptr, suggested->left, suggested->top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        Layout();
        return 0;
    }
    case WM_DESTROY:
        ::PostQuitMessage(form_->ExitCode());
        return 0;
    default:
        return ::DefWindowProcW(hwnd_, message, wParam, lParam);
    }
}

LRESULT CALLBACK PortManagementWindow::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<PortManagementWindow*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!self || !self->form_) return ::DefWindowProcW(hwnd, message, wParam, lParam);
    try {
        return self->Handle(message, wParam, lParam);
    } catch (...) {
        // Nothing escapes into the system's code; the event is dropped.
        return ::DefWindowProcW(hwnd, message, wParam, lParam);
    }
}

bool PortManagementWindow::RegisterWindowClass(HICON& icon, HICON& smallIcon) {
    INITCOMMONCONTROLSEX common{sizeof common, ICC_STANDARD_CLASSES};
    ::InitCommonControlsEx(&common);
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = instance_;
    wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = kClassName;
    wc.hIcon = icon = static_cast<HICON>(::LoadImageW(instance_, MAKEINTRESOURCEW(IDI_PORTSETUP), IMAGE_ICON,
                                                      ::GetSystemMetrics(SM_CXICON), ::GetSystemMetrics(SM_CYICON),
                                                      LR_SHARED));
    wc.hIconSm = smallIcon = static_cast<HICON>(::LoadImageW(instance_, MAKEINTRESOURCEW(IDI_PORTSETUP), IMAGE_ICON,
                                                             ::GetSystemMetrics(SM_CXSMICON),
                                                             ::GetSystemMetrics(SM_CYSMICON), LR_SHARED));
    return ::RegisterClassExW(&wc) != 0;
}

// Everything is created at its final size and place, in its font: the
// window appears sooner than if it were laid out afterwards.
bool PortManagementWindow::CreateMainWindow(HICON icon, HICON smallIcon) {
    dpi_ = platform::ScreenDpi();
    PrepareFont();
    const SIZE outer = OuterSize();
    hwnd_ = ::CreateWindowExW(kExStyle, kClassName, L"Port Management", kStyle, CW_USEDEFAULT, CW_USEDEFAULT, outer.cx,
                              outer.cy, nullptr, nullptr, instance_, nullptr);
    if (!hwnd_) return false;
    ::SendMessageW(hwnd_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
    ::SendMessageW(hwnd_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon));
    window_.hwnd = hwnd_;
    CreateControls();
    // On a monitor of another DPI than the primary screen's, lay out again.
    if (const unsigned windowDpi = WindowDpi(hwnd_); windowDpi != dpi_) {
        dpi_ = windowDpi;
        Layout();
    }
    window_.dpi = dpi_;
    return true;
}

// A deployment system starts an unattended removal hidden: it stays hidden.
// Otherwise the window is shown in the normal state even when the starter
// asked for a minimized or hidden one: the first ShowWindow may be
// overridden by the starter's request, the second never is.
void PortManagementWindow::Show(Form1& form) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    ::GetStartupInfoW(&startup);
    const bool startedHidden = (startup.dwFlags & STARTF_USESHOWWINDOW) && startup.wShowWindow == SW_HIDE;
    if (!form.StaysHidden(startedHidden)) {
        ::ShowWindow(hwnd_, SW_SHOWNORMAL);
        if (::IsWindow(hwnd_) && (!::IsWindowVisible(hwnd_) || ::IsIconic(hwnd_))) ::ShowWindow(hwnd_, SW_SHOWNORMAL);
        if (::IsWindow(hwnd_)) ::UpdateWindow(hwnd_);
    }
    if (::IsWindow(hwnd_)) ::PostMessageW(hwnd_, WM_APP_FIRST_ACTIVATION, 0, 0);
}

int PortManagementWindow::MessageLoop() {
    MSG msg{};
    while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (::IsWindow(hwnd_) && (HandleKey(msg) || ::IsDialogMessageW(hwnd_, &msg))) continue;
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
    return static_cast<int>(msg.wParam);
}

int PortManagementWindow::Run() {
    HICON icon = nullptr, smallIcon = nullptr;
    if (!RegisterWindowClass(icon, smallIcon)) return NotStarted(u"the window class could not be registered");
    if (!CreateMainWindow(icon, smallIcon)) return NotStarted(u"the window could not be created");

    Form1Controls controls{};
    controls.window = &window_;
    for (int i = 0; i < 4; ++i) controls.Option1[i] = &option1_[i];
    controls.Option2 = &option2_;
    for (int i = 0; i < 3; ++i) controls.Frame1[i] = &frame1_[i];
    for (int i = 0; i < 5; ++i) controls.Combo1[i] = &combo1_[i];
    ProtectedPackages packages;
    Form1 form(controls, machine_, processes_, printers_, registry_, events_, product_, &packages);
    form_ = &form;
    ::SetWindowLongPtrW(hwnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));

    try {
        form.Form_Load();
    } catch (...) {
    }
    Show(form);
    const int exitCode = MessageLoop();
    form_ = nullptr;
    // Closed before it was first activated (by the system, or a crash in
    // its first messages): a DEL that never began says so.
    if (!form.RemovalStarted() && machine_.CommandLineArguments() == u"DEL") {
        ReportRemovalNotStarted(machine_, events_, u"the window ended before the removal began");
        return 1;
    }
    return exitCode;
}

int PortManagementWindow::NotStarted(std::u16string_view what) {
    ReportRemovalNotStarted(machine_, events_, std::u16string(what) + u" (" + platform::SystemErrorText(::GetLastError()) + u")");
    return 1;
}

}  // namespace

int RunPortManagement(HINSTANCE instance, const setup::Product& product) {
    // Refused at once where it would do the job half right: DEL leaves its
    // failure event, a person gets the reason.
    platform::Win32Machine machine;
    if (const auto wrong = setup::WrongWindowsFor(machine.ProgramProcessor(), machine.NativeProcessor(), u"PortSetup.exe")) {
        platform::Win32EventLog events;
        if (machine.CommandLineArguments() == u"DEL") {
            ReportRemovalNotStarted(machine, events, *wrong);
            return 1;
        }
        ::MessageBoxW(nullptr, platform::Wide(*wrong), L"Port Management", MB_OK | MB_ICONERROR);
        return setup::kExitWrongProcessor;
    }
    PortManagementWindow window(instance, product);
    return window.Run();
}

}  // namespace forms
