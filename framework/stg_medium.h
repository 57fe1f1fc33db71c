// A storage medium received from a data object, always given back with
// ReleaseStgMedium.
#pragma once

#include <windows.h>
// After windows.h, which it needs.
#include <ole2.h>

class CStgMedium {
public:
    CStgMedium() = default;
    ~CStgMedium() { Release(); }
    CStgMedium(const CStgMedium&) = delete;
    CStgMedium& operator=(const CStgMedium&) = delete;

    // For IDataObject::GetData: releases what is held first.
    STGMEDIUM* Put() {
        Release();
        return &m_medium;
    }
    const STGMEDIUM& Get() const { return m_medium; }
    // After a failed GetData: whatever the medium holds is not ours to release.
    void Abandon() { m_medium = STGMEDIUM{}; }
    void Release() {
        if (m_medium.tymed != TYMED_NULL) ::ReleaseStgMedium(&m_medium);
        m_medium = STGMEDIUM{};
    }

private:
    STGMEDIUM m_medium{};
};
