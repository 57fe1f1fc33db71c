// A program of the GUI tests that accepts files as a file manager would: its
// window's OLE drop target asks for a move where a move is allowed, else a
// copy. Its window's text (and the tests, through WM_GETTEXT) shows "files
// over" while files are dragged over it, then the last drop: a line "Dropped
// as EFFECT (allowed: EFFECTS):" and each name of the file list, read through
// the validated parser (a list of wide names shows "(wide)" for each name:
// Kivrel offers narrow ones).
#include <windows.h>
// After windows.h, which it needs.
#include <ole2.h>

#include <string>

#include "file_list.h"

namespace {

// The names of a dropped file list, one a line; none when the block is not
// a valid list.
std::string ReadFileNames(IDataObject* pData) {
    FORMATETC format{CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    STGMEDIUM medium{};
    if (FAILED(pData->GetData(&format, &medium))) return "";
    std::string names;
    const auto* block = medium.tymed == TYMED_HGLOBAL
                            ? static_cast<const uint8_t*>(::GlobalLock(medium.hGlobal))
                            : nullptr;
    if (block != nullptr) {
        const auto layout = kivrel::ParseFileList(block, ::GlobalSize(medium.hGlobal));
        for (const auto& name : layout ? layout->names : kivrel::FileListLayout{}.names) {
            names += (layout->bWide ? "(wide)" : kivrel::NarrowFileName(block, name)) + "\n";
        }
        ::GlobalUnlock(medium.hGlobal);
    }
    ::ReleaseStgMedium(&medium);
    return names;
}

const char* EffectName(DWORD effect) {
    const char* const names[] = {"none", "copy", "move", "copy, move"};
    return effect < 4 ? names[effect] : "other";
}

class CFileDropTarget : public IDropTarget {
public:
    explicit CFileDropTarget(HWND hText) : m_hText(hText) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        *ppv = riid == IID_IUnknown || riid == IID_IDropTarget ? this : nullptr;
        if (*ppv == nullptr) return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    // Lives as long as the program: the count only has to be kept.
    ULONG STDMETHODCALLTYPE AddRef() override { return ++m_nRef; }
    ULONG STDMETHODCALLTYPE Release() override { return --m_nRef; }
    HRESULT STDMETHODCALLTYPE DragEnter(IDataObject* pData, DWORD, POINTL,
                                        DWORD* pEffect) override {
        FORMATETC format{CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
        m_bFiles = pData->QueryGetData(&format) == S_OK;
        if (m_bFiles) ::SetWindowTextA(m_hText, "files over");
        return DragOver(0, POINTL{}, pEffect);
    }
    HRESULT STDMETHODCALLTYPE DragOver(DWORD, POINTL, DWORD* pEffect) override {
        *pEffect = !m_bFiles                      ? DROPEFFECT_NONE
                   : (*pEffect & DROPEFFECT_MOVE) ? DROPEFFECT_MOVE
                                                  : *pEffect & DROPEFFECT_COPY;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE DragLeave() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Drop(IDataObject* pData, DWORD, POINTL, DWORD* pEffect) override {
        const DWORD allowed = *pEffect;
        DragOver(0, POINTL{}, pEffect);
        const std::string shown = std::string("Dropped as ") + EffectName(*pEffect) +
                                  " (allowed: " + EffectName(allowed) + "):\n" +
                                  ReadFileNames(pData);
        ::SetWindowTextA(m_hText, shown.c_str());
        return S_OK;
    }

private:
    ULONG m_nRef = 1;
    HWND m_hText;
    bool m_bFiles = false;
};

}  // namespace

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE, LPSTR, int) {
    if (FAILED(::OleInitialize(nullptr))) return 2;
    WNDCLASSA windowClass{};
    // The tests end the program; closing its window does not.
    windowClass.lpfnWndProc = &::DefWindowProcA;
    windowClass.hInstance = hInstance;
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = "KivrelDropTargetHost";
    ::RegisterClassA(&windowClass);
    const HWND hWnd = ::CreateWindowExA(0, windowClass.lpszClassName, "Drop target",
                                        WS_OVERLAPPEDWINDOW | WS_VISIBLE, 600, 40, 360, 200,
                                        nullptr, nullptr, hInstance, nullptr);
    RECT client;
    ::GetClientRect(hWnd, &client);
    const HWND hText =
        ::CreateWindowExA(0, "STATIC", "drop files here", WS_CHILD | WS_VISIBLE, 8, 8,
                          client.right - 16, client.bottom - 16, hWnd, nullptr, hInstance, nullptr);
    ::SendMessageA(hText, WM_SETFONT, reinterpret_cast<WPARAM>(::GetStockObject(DEFAULT_GUI_FONT)),
                   FALSE);
    CFileDropTarget target(hText);
    if (::RegisterDragDrop(hWnd, &target) != S_OK) return 3;
    MSG msg;
    while (::GetMessageA(&msg, nullptr, 0, 0) > 0) ::DispatchMessageA(&msg);
    return 0;
}
