#include "platform/Win32Api.h"
#include "platform/Win32FileSecurity.h"
#include "platform/Win32Seams.h"

namespace platform {

namespace {

// The administrators' mutex with its private namespace, let go when released.
class Held : public HeldLock {
public:
    explicit Held(const Kernel32Api& api) : api_(api) {}
    ~Held() override {
        if (mutex) {
            if (owned) ::ReleaseMutex(mutex.get());
            mutex.reset();
        }
        if (space) api_.ClosePrivateNamespace(space, 0);
        if (boundary) api_.DeleteBoundaryDescriptor(boundary);
    }
    Held(const Held&) = delete;
    Held& operator=(const Held&) = delete;
    const Kernel32Api& api_;
    HANDLE boundary = nullptr;
    HANDLE space = nullptr;
    KernelHandle mutex;
    bool owned = false;
};

}  // namespace

LockAttempt Win32Files::TakeAdministratorsLock(std::u16string_view name) {
    LockAttempt attempt;
    const Kernel32Api& api = Kernel32();
    if (!api.CreateBoundaryDescriptorW || !api.AddSIDToBoundaryDescriptor || !api.CreatePrivateNamespaceW ||
        !api.OpenPrivateNamespaceW || !api.ClosePrivateNamespace || !api.DeleteBoundaryDescriptor) {
        attempt.reason = u"this system has no private namespaces";
        return attempt;
    }
    auto held = std::make_unique<Held>(api);
    BYTE administrators[SECURITY_MAX_SID_SIZE];
    DWORD size = sizeof administrators;
    held->boundary = api.CreateBoundaryDescriptorW(L"PortSetup", 0);
    if (!held->boundary || !::CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, administrators, &size) ||
        !api.AddSIDToBoundaryDescriptor(&held->boundary, administrators)) {
        attempt.reason = SystemErrorText(::GetLastError());
        return attempt;
    }
    const Descriptor sd(u"D:P(A;;GA;;;SY)(A;;GA;;;BA)");
    SECURITY_ATTRIBUTES attributes{sizeof attributes, sd.get(), FALSE};
    held->space = api.CreatePrivateNamespaceW(&attributes, held->boundary, L"PortSetup");
    if (!held->space && ::GetLastError() == ERROR_ALREADY_EXISTS)
        held->space = api.OpenPrivateNamespaceW(held->boundary, L"PortSetup");
    if (!held->space) {
        attempt.reason = u"no private namespace (" + SystemErrorText(::GetLastError()) + u")";
        return attempt;
    }
    held->mutex.reset(::CreateMutexW(&attributes, FALSE, Wide(u"PortSetup\\" + std::u16string(name))));
    if (!held->mutex) {
        attempt.reason = SystemErrorText(::GetLastError());
        return attempt;
    }
    const DWORD waited = ::WaitForSingleObject(held->mutex.get(), 0);
    if (waited == WAIT_TIMEOUT) {
        attempt.outcome = LockAttempt::Outcome::HeldElsewhere;
        return attempt;
    }
    if (waited != WAIT_OBJECT_0 && waited != WAIT_ABANDONED) {
        attempt.reason = SystemErrorText(::GetLastError());
        return attempt;
    }
    held->owned = true;
    attempt.outcome = LockAttempt::Outcome::Taken;
    attempt.lock = std::move(held);
    return attempt;
}

}  // namespace platform
