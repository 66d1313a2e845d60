// Small owners of Win32 handles, so that every handle is closed exactly once.
#pragma once

#include <windows.h>

#include <string>
#include <utility>

namespace platform {

template <typename Handle, auto Close, Handle Invalid>
class UniqueHandle {
public:
    UniqueHandle() = default;
    explicit UniqueHandle(Handle handle) : handle_(handle) {}
    UniqueHandle(UniqueHandle&& other) noexcept : handle_(std::exchange(other.handle_, Invalid)) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) reset(std::exchange(other.handle_, Invalid));
        return *this;
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    ~UniqueHandle() { reset(); }

    Handle get() const { return handle_; }
    explicit operator bool() const { return handle_ != Invalid; }
    void reset(Handle handle = Invalid) {
        if (handle_ != Invalid) Close(handle_);
        handle_ = handle;
    }

private:
    Handle handle_ = Invalid;
};

inline void CloseKernelHandle(HANDLE h) { ::CloseHandle(h); }
inline void ReleaseModule(HMODULE m) { ::FreeLibrary(m); }
inline void DeleteGdiObject(HGDIOBJ o) { ::DeleteObject(o); }
inline void FreeLocal(HLOCAL m) { ::LocalFree(m); }
inline void DeregisterEventLogSource(HANDLE h) { ::DeregisterEventSource(h); }
inline void CloseRegistryKey(HKEY k) { ::RegCloseKey(k); }

using KernelHandle = UniqueHandle<HANDLE, CloseKernelHandle, nullptr>;
using ModuleHandle = UniqueHandle<HMODULE, ReleaseModule, nullptr>;
using GdiObject = UniqueHandle<HGDIOBJ, DeleteGdiObject, nullptr>;
using LocalMemory = UniqueHandle<HLOCAL, FreeLocal, nullptr>;
using EventSourceHandle = UniqueHandle<HANDLE, DeregisterEventLogSource, nullptr>;
using RegistryKey = UniqueHandle<HKEY, CloseRegistryKey, nullptr>;

// A FindFirstFileW search, closed when done.
class FindHandle {
public:
    explicit FindHandle(HANDLE handle) : handle_(handle) {}
    FindHandle(const FindHandle&) = delete;
    FindHandle& operator=(const FindHandle&) = delete;
    ~FindHandle() {
        if (handle_ != INVALID_HANDLE_VALUE) ::FindClose(handle_);
    }

private:
    HANDLE handle_;
};

// A window's (or the screen's) device context, released when done, with an
// object selected into it for that time.
class WindowDC {
public:
    explicit WindowDC(HWND hwnd) : hwnd_(hwnd), dc_(::GetDC(hwnd)) {}
    WindowDC(const WindowDC&) = delete;
    WindowDC& operator=(const WindowDC&) = delete;
    ~WindowDC() {
        if (previous_) ::SelectObject(dc_, previous_);
        if (dc_) ::ReleaseDC(hwnd_, dc_);
    }
    HDC get() const { return dc_; }
    void Select(HGDIOBJ object) {
        HGDIOBJ old = ::SelectObject(dc_, object);
        if (!previous_) previous_ = old;
    }

private:
    HWND hwnd_;
    HDC dc_;
    HGDIOBJ previous_ = nullptr;
};

// UTF-16 text: wchar_t is 16 bits on Windows, so the two views share storage.
inline const wchar_t* Wide(const std::u16string& s) { return reinterpret_cast<const wchar_t*>(s.c_str()); }
inline std::u16string FromWide(const wchar_t* s, std::size_t n) {
    return std::u16string(reinterpret_cast<const char16_t*>(s), n);
}
inline std::u16string FromWide(const std::wstring& s) { return FromWide(s.data(), s.size()); }

}  // namespace platform
