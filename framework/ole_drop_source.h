// The drop source of our drags: the drag goes on while the button that
// started it is held, drops when it is released, and is cancelled by Escape
// or by the other button.
#pragma once

#include <windows.h>
// After windows.h, which it needs.
#include <ole2.h>

#include "com_ptr.h"

class COleDropSource : public IDropSource {
public:
    // `nButton`: MK_LBUTTON or MK_RBUTTON, the button that started the drag.
    static CComRef<COleDropSource> Create(DWORD nButton);

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE QueryContinueDrag(BOOL fEscapePressed, DWORD grfKeyState) override;
    HRESULT STDMETHODCALLTYPE GiveFeedback(DWORD dwEffect) override;

private:
    explicit COleDropSource(DWORD nButton) : m_nButton(nButton) {}
    virtual ~COleDropSource() = default;

    LONG m_nRef = 1;
    DWORD m_nButton;
};
