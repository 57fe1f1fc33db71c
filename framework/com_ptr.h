// One owned reference to a COM object: released exactly once, movable, and
// AddRef'd only when a reference is taken from someone else.
#pragma once

#include <windows.h>

#include <utility>

template <typename T>
class CComRef {
public:
    CComRef() = default;
    ~CComRef() { Reset(); }
    CComRef(const CComRef&) = delete;
    CComRef& operator=(const CComRef&) = delete;
    CComRef(CComRef&& other) noexcept : m_p(std::exchange(other.m_p, nullptr)) {}
    CComRef& operator=(CComRef&& other) noexcept {
        if (this != &other) {
            Reset();
            m_p = std::exchange(other.m_p, nullptr);
        }
        return *this;
    }

    // Takes over a reference the caller owns (a new object, an out-parameter).
    static CComRef Adopt(T* p) {
        CComRef ref;
        ref.m_p = p;
        return ref;
    }
    // Takes a reference of its own to an object someone else holds.
    static CComRef Share(T* p) {
        if (p != nullptr) p->AddRef();
        return Adopt(p);
    }

    T* Get() const { return m_p; }
    T* operator->() const { return m_p; }
    explicit operator bool() const { return m_p != nullptr; }
    void Reset() {
        if (T* p = std::exchange(m_p, nullptr)) p->Release();
    }

private:
    T* m_p = nullptr;
};
