// What the Win32 file seams share about an opened file or folder: its facts
// (a link or not, its names, owner and access entries), read on its handle;
// security descriptors made from SDDL; and whether an opened object is the
// one that was meant.
#pragma once

#include "platform/Seams.h"
#include "platform/Win32Handles.h"

#include <string>
#include <string_view>

namespace platform {

// A security descriptor made from SDDL, freed when done.
class Descriptor {
public:
    explicit Descriptor(std::u16string_view sddl);
    PSECURITY_DESCRIPTOR get() const { return memory_.get(); }
    DWORD error() const { return error_; }

private:
    LocalMemory memory_;
    DWORD error_ = 0;
};

// `path` made absolute; as given when that fails.
std::u16string FullPathOf(const std::u16string& path);

// The facts of an opened file or folder: whether it is, or resolves to,
// something other than `path` (a link, or one the system followed even
// so), its links and its security.
void FactsOfHandle(HANDLE handle, const std::u16string& path, PathFacts& facts);

// Whether the opened object's own path is `path`, letter case aside: a link
// the system followed on the way, or at the end, shows there.
bool OpenedAt(HANDLE handle, const std::u16string& path);

}  // namespace platform
