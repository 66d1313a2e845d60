#include "forms/Win32Controls.h"

#include "platform/Win32Handles.h"

#include <commctrl.h>

namespace forms {

namespace {
void Require(HWND hwnd) {
    if (!::IsWindow(hwnd)) throw ControlError("the control no longer exists");
}
}  // namespace

bool Win32Option::Selected() {
    Require(hwnd);
    return ::SendMessageW(hwnd, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void Win32Option::SetSelected(bool selected) {
    Require(hwnd);
    ::SendMessageW(hwnd, BM_SETCHECK, selected ? BST_CHECKED : BST_UNCHECKED, 0);
}

bool Win32Group::Visible() {
    Require(hwnd);
    return (::GetWindowLongPtrW(hwnd, GWL_STYLE) & WS_VISIBLE) != 0;
}

void Win32Group::SetVisible(bool visible) {
    Require(hwnd);
    ::ShowWindow(hwnd, visible ? SW_SHOWNA : SW_HIDE);
    for (HWND member : members) ::ShowWindow(member, visible ? SW_SHOWNA : SW_HIDE);
}

bool Win32Group::Enabled() {
    Require(hwnd);
    return ::IsWindowEnabled(hwnd) != FALSE;
}

void Win32Group::SetEnabled(bool enabled) {
    Require(hwnd);
    ::EnableWindow(hwnd, enabled);
    for (HWND member : members) ::EnableWindow(member, enabled);
}

void Win32List::Clear() {
    Require(hwnd);
    ::SendMessageW(hwnd, CB_RESETCONTENT, 0, 0);
}

void Win32List::Add(const std::u16string& text) {
    Require(hwnd);
    const LRESULT index = ::SendMessageW(hwnd, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(platform::Wide(text)));
    if (index == CB_ERR || index == CB_ERRSPACE) throw ControlError("the list refused an entry");
}

void Win32List::Select(int index) {
    Require(hwnd);
    if (::SendMessageW(hwnd, CB_SETCURSEL, static_cast<WPARAM>(index), 0) == CB_ERR && index != -1)
        throw ControlError("no such list entry");
}

std::u16string Win32List::CurrentText() {
    Require(hwnd);
    const LRESULT index = ::SendMessageW(hwnd, CB_GETCURSEL, 0, 0);
    if (index == CB_ERR) return {};
    const LRESULT length = ::SendMessageW(hwnd, CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0);
    if (length == CB_ERR) throw ControlError("the list entry cannot be read");
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    const LRESULT copied =
        ::SendMessageW(hwnd, CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text.data()));
    if (copied == CB_ERR) throw ControlError("the list entry cannot be read");
    text.resize(static_cast<std::size_t>(copied));
    return platform::FromWide(text);
}

void Win32Window::SetNormalState() {
    if (::IsIconic(hwnd) || ::IsZoomed(hwnd)) ::ShowWindow(hwnd, SW_RESTORE);
}

platform::TwipSize Win32Window::OuterSize() {
    RECT r{};
    ::GetWindowRect(hwnd, &r);
    return {PixelsToTwips(r.right - r.left, dpi), PixelsToTwips(r.bottom - r.top, dpi)};
}

void Win32Window::SetTop(float twips) {
    RECT r{};
    ::GetWindowRect(hwnd, &r);
    ::SetWindowPos(hwnd, nullptr, r.left, TwipsToPixels(twips, dpi), 0, 0,
                   SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void Win32Window::SetLeft(float twips) {
    RECT r{};
    ::GetWindowRect(hwnd, &r);
    ::SetWindowPos(hwnd, nullptr, TwipsToPixels(twips, dpi), r.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void Win32Window::Unload() {
    if (::IsWindow(hwnd)) ::DestroyWindow(hwnd);
}

// Disabled, the window takes no mouse or keyboard input (as under a modal
// dialog) but still paints and answers messages; the window procedure shows
// the wait cursor meanwhile.
void Win32Window::SetBusy(bool isBusy) {
    busy = isBusy;
    if (!::IsWindow(hwnd)) return;
    ::EnableWindow(hwnd, !isBusy);
    ::SetCursor(::LoadCursorW(nullptr, isBusy ? IDC_WAIT : IDC_ARROW));
}

void Win32Window::ShowError(const std::u16string& message) {
    ::MessageBoxW(hwnd, platform::Wide(message), L"Port Management", MB_OK | MB_ICONERROR);
}

void Win32Window::ShowNotice(const std::u16string& message) {
    ::MessageBoxW(hwnd, platform::Wide(message), L"Port Management", MB_OK | MB_ICONINFORMATION);
}

}  // namespace forms
