// The instance number of the resizable dialog, which keeps the placements of
// copies running at the same time apart: each copy holds a named kernel
// object for its number as long as it runs, and a new copy takes the lowest
// number no running copy holds. Counting the running copies instead would
// give a third copy, started after the first ended, the number of the second.
#include <windows.h>

#include <cstdint>
#include <cstdio>

#include "resizable_dialog.h"

namespace {
// More copies than anyone runs; the search for a free number ends here.
constexpr int kMaxInstance = 4096;

// The long form of a path, so that a short (8.3) spelling names the same slots.
std::string LongPath(const char* path) {
    char buffer[MAX_PATH];
    const DWORD length = ::GetLongPathNameA(path, buffer, MAX_PATH);
    return length > 0 && length < MAX_PATH ? std::string(buffer, length) : std::string(path);
}

// The object names of one executable: its path compared without regard to
// case, hashed because a name cannot hold the path's backslashes.
std::string SlotNamePrefix(std::string path) {
    ::CharUpperBuffA(path.data(), static_cast<DWORD>(path.size()));
    uint64_t hash = 14695981039346656037ull;  // FNV-1a
    for (unsigned char c : path) hash = (hash ^ c) * 1099511628211ull;
    char prefix[64];
    std::snprintf(prefix, sizeof(prefix), "Local\\Kivrel.%016llx.Window",
                  static_cast<unsigned long long>(hash));
    return prefix;
}
}  // namespace

int CResizableDialog::TakeInstanceSlot(CKernelHandle& slot) {
    slot.Reset();
    char ownPath[MAX_PATH];
    const DWORD length = ::GetModuleFileNameA(nullptr, ownPath, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return 0;
    const std::string prefix = SlotNamePrefix(LongPath(ownPath));
    for (int instance = 1; instance <= kMaxInstance; ++instance) {
        const std::string name = prefix + std::to_string(instance);
        // A new object need not clear the last error: clear it first.
        ::SetLastError(ERROR_SUCCESS);
        CKernelHandle object(::CreateEventA(nullptr, TRUE, FALSE, name.c_str()));
        // Read at once: the handle's destructor may change the last error.
        const DWORD error = ::GetLastError();
        if (!object) return 0;  // the platform refuses named objects: no slot at all
        if (error != ERROR_ALREADY_EXISTS) {
            slot = std::move(object);
            return instance;
        }
    }
    return 0;
}
