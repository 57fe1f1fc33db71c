// Global memory blocks as drag-and-drop hands them over: allocated movable,
// zeroed and shareable; locked for exactly the scope of a CGlobalLock.
#pragma once

#include <windows.h>

#include <cstddef>

#include "handle.h"

// A zeroed block of `size` bytes; empty on failure.
CGlobalHandle AllocateGlobal(size_t size);
// A new block holding the `size` bytes at `data`.
CGlobalHandle AllocateGlobalCopy(const void* data, size_t size);
// A new block with exactly the bytes of `block`.
CGlobalHandle CopyGlobal(HGLOBAL block);

class CGlobalLock {
public:
    explicit CGlobalLock(HGLOBAL block)
        : m_hBlock(block),
          m_pData(block != nullptr ? ::GlobalLock(block) : nullptr),
          m_nSize(m_pData != nullptr ? ::GlobalSize(block) : 0) {}
    ~CGlobalLock() {
        if (m_pData != nullptr) ::GlobalUnlock(m_hBlock);
    }
    CGlobalLock(const CGlobalLock&) = delete;
    CGlobalLock& operator=(const CGlobalLock&) = delete;

    // Null when the block could not be locked.
    void* Data() const { return m_pData; }
    const BYTE* Bytes() const { return static_cast<const BYTE*>(m_pData); }
    // The block's size as the system reports it: every byte of it is ours to read.
    size_t Size() const { return m_nSize; }

private:
    HGLOBAL m_hBlock;
    void* m_pData;
    size_t m_nSize;
};
