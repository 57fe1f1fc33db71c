// OLE initialised for the lifetime of the object, and uninitialised only
// when the initialisation succeeded.
#pragma once

#include <windows.h>
// After windows.h, which it needs.
#include <ole2.h>

class COleInitializer {
public:
    COleInitializer() : m_hr(::OleInitialize(nullptr)) {}
    // Takes over the result of an initialisation made by the caller.
    explicit COleInitializer(HRESULT hr) : m_hr(hr) {}
    ~COleInitializer() {
        if (SUCCEEDED(m_hr)) ::OleUninitialize();
    }
    COleInitializer(const COleInitializer&) = delete;
    COleInitializer& operator=(const COleInitializer&) = delete;

    bool Succeeded() const { return SUCCEEDED(m_hr); }

private:
    HRESULT m_hr;
};
