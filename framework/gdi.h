// GDI objects and device contexts that release what they hold. Every
// selection into a context is undone by a scoped selector.
#pragma once

#include <windows.h>

#include "runtime_class.h"

class CWnd;

// Holds one GDI object: owned (Attach), destroyed with the holder, or shared
// (AttachShared), such as a stock object, which is only let go.
class CGdiObject : public CObject {
    DECLARE_DYNAMIC(CGdiObject)
public:
    CGdiObject() = default;
    ~CGdiObject() override { DeleteObject(); }
    CGdiObject(const CGdiObject&) = delete;
    CGdiObject& operator=(const CGdiObject&) = delete;

    HGDIOBJ GetSafeHandle() const { return m_hObject; }
    // Takes ownership; a null object leaves what is held in place.
    BOOL Attach(HGDIOBJ hObject);
    // Holds an object that someone else owns, without ever destroying it.
    BOOL AttachShared(HGDIOBJ hObject);
    HGDIOBJ Detach();
    bool IsShared() const { return m_hObject != nullptr && !m_bOwned; }
    // FALSE when nothing is held; a shared object is let go (TRUE), an owned
    // one destroyed (the platform's answer).
    BOOL DeleteObject();

protected:
    HGDIOBJ m_hObject = nullptr;
    bool m_bOwned = true;
};

class CFont : public CGdiObject {
    DECLARE_DYNAMIC(CFont)
public:
    HFONT GetSafeHandle() const { return static_cast<HFONT>(m_hObject); }
    operator HFONT() const { return GetSafeHandle(); }
    BOOL CreateFontIndirect(const LOGFONTA* logFont) {
        return Attach(::CreateFontIndirectA(logFont));
    }
};

class CBrush : public CGdiObject {
public:
    explicit CBrush(COLORREF color) { Attach(::CreateSolidBrush(color)); }
    operator HBRUSH() const { return static_cast<HBRUSH>(m_hObject); }
};

// A device context that does not own its handle.
class CDC {
public:
    HDC m_hDC = nullptr;
    operator HDC() const { return m_hDC; }

protected:
    CDC() = default;
    CDC(const CDC&) = delete;
    CDC& operator=(const CDC&) = delete;
};

class CClientDC : public CDC {
public:
    explicit CClientDC(HWND hWnd) : m_hWnd(hWnd) { m_hDC = ::GetDC(hWnd); }
    ~CClientDC() {
        if (m_hDC != nullptr) ::ReleaseDC(m_hWnd, m_hDC);
    }

private:
    HWND m_hWnd;
};

class CPaintDC : public CDC {
public:
    explicit CPaintDC(HWND hWnd) : m_hWnd(hWnd) { m_hDC = ::BeginPaint(hWnd, &m_ps); }
    ~CPaintDC() { ::EndPaint(m_hWnd, &m_ps); }

    PAINTSTRUCT m_ps{};

private:
    HWND m_hWnd;
};

// Selects an object into a context for the lifetime of the selector; a null
// object selects nothing.
class CSelectObject {
public:
    CSelectObject(HDC hDC, HGDIOBJ hObject)
        : m_hDC(hDC),
          m_hOld(hDC != nullptr && hObject != nullptr ? ::SelectObject(hDC, hObject) : nullptr) {}
    ~CSelectObject() {
        if (m_hOld != nullptr) ::SelectObject(m_hDC, m_hOld);
    }
    CSelectObject(const CSelectObject&) = delete;
    CSelectObject& operator=(const CSelectObject&) = delete;

private:
    HDC m_hDC;
    HGDIOBJ m_hOld;
};
