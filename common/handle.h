// One owning wrapper for every kind of platform handle. A kind is a traits
// type naming its handle type, its "nothing held" value and how it is closed;
// the wrapper closes what it holds exactly once and can be moved, not copied.
#pragma once

#include <windows.h>

#include <utility>

template <typename Traits>
class CUniqueHandle {
public:
    using Handle = typename Traits::Handle;

    CUniqueHandle() = default;
    explicit CUniqueHandle(Handle handle) : m_handle(handle) {}
    ~CUniqueHandle() { Reset(); }
    CUniqueHandle(const CUniqueHandle&) = delete;
    CUniqueHandle& operator=(const CUniqueHandle&) = delete;
    CUniqueHandle(CUniqueHandle&& other) noexcept : m_handle(other.Detach()) {}
    CUniqueHandle& operator=(CUniqueHandle&& other) noexcept {
        if (this != &other) Reset(other.Detach());
        return *this;
    }

    Handle Get() const { return m_handle; }
    bool IsValid() const { return m_handle != Traits::Invalid(); }
    explicit operator bool() const { return IsValid(); }

    // Closes what is held and takes the new handle.
    void Reset(Handle handle = Traits::Invalid()) {
        if (IsValid()) Traits::Close(m_handle);
        m_handle = handle;
    }
    // Gives up ownership without closing.
    Handle Detach() { return std::exchange(m_handle, Traits::Invalid()); }
    // For functions that return a handle through a pointer: closes what is
    // held first.
    Handle* Put() {
        Reset();
        return &m_handle;
    }

private:
    Handle m_handle = Traits::Invalid();
};

// Kernel objects whose "nothing" is NULL: processes, mappings, mutexes, events.
struct KernelHandleTraits {
    using Handle = HANDLE;
    static Handle Invalid() { return nullptr; }
    static void Close(Handle h) { ::CloseHandle(h); }
};
// Files and snapshots, whose failure value is INVALID_HANDLE_VALUE.
struct FileHandleTraits {
    using Handle = HANDLE;
    static Handle Invalid() { return INVALID_HANDLE_VALUE; }
    static void Close(Handle h) { ::CloseHandle(h); }
};
struct FindHandleTraits {
    using Handle = HANDLE;
    static Handle Invalid() { return INVALID_HANDLE_VALUE; }
    static void Close(Handle h) { ::FindClose(h); }
};
struct RegKeyTraits {
    using Handle = HKEY;
    static Handle Invalid() { return nullptr; }
    static void Close(Handle h) { ::RegCloseKey(h); }
};
struct IconTraits {
    using Handle = HICON;
    static Handle Invalid() { return nullptr; }
    static void Close(Handle h) { ::DestroyIcon(h); }
};
struct MenuTraits {
    using Handle = HMENU;
    static Handle Invalid() { return nullptr; }
    static void Close(Handle h) { ::DestroyMenu(h); }
};
struct GlobalTraits {
    using Handle = HGLOBAL;
    static Handle Invalid() { return nullptr; }
    static void Close(Handle h) { ::GlobalFree(h); }
};
struct BitmapTraits {
    using Handle = HBITMAP;
    static Handle Invalid() { return nullptr; }
    static void Close(Handle h) { ::DeleteObject(h); }
};
// Memory device contexts made by CreateCompatibleDC.
struct MemoryDCTraits {
    using Handle = HDC;
    static Handle Invalid() { return nullptr; }
    static void Close(Handle h) { ::DeleteDC(h); }
};

using CKernelHandle = CUniqueHandle<KernelHandleTraits>;
using CFileHandle = CUniqueHandle<FileHandleTraits>;
using CFindHandle = CUniqueHandle<FindHandleTraits>;
using CRegKeyHandle = CUniqueHandle<RegKeyTraits>;
using CIconHandle = CUniqueHandle<IconTraits>;
using CMenuHandle = CUniqueHandle<MenuTraits>;
using CGlobalHandle = CUniqueHandle<GlobalTraits>;
using CBitmapHandle = CUniqueHandle<BitmapTraits>;
using CMemoryDCHandle = CUniqueHandle<MemoryDCTraits>;
