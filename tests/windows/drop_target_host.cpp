// A program of the GUI tests that accepts files as a file manager would (a move
// where one is allowed, else a copy). Its window's text is "files over" while
// files are dragged over it, then "Dropped as EFFECT (allowed: EFFECTS):" and
// each name of the validated file list on a line ("(wide)" for a wide name).
#include <windows.h>
// After windows.h, which it needs.
#include <ole2.h>

#include <string>

#include "file_list.h"

namespace {

FORMATETC g_files{CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};

std::string ReadFileNames(IDataObject* pData) {
    STGMEDIUM medium{};
    if (FAILED(pData->GetData(&g_files, &medium))) return "";
    std::string names;
    const void* block = medium.tymed == TYMED_HGLOBAL ? ::GlobalLock(medium.hGlobal) : nullptr;
    const auto* bytes = static_cast<const uint8_t*>(block);
    if (const auto layout =
            bytes ? kivrel::ParseFileList(bytes, ::GlobalSize(medium.hGlobal)) : std::nullopt) {
        for (const auto& name : layout->names)
            names += (layout->bWide ? "(wide)" : kivrel::NarrowFileName(bytes, name)) + "\n";
    }
    if (block != nullptr) ::GlobalUnlock(medium.hGlobal);
    ::ReleaseStgMedium(&medium);
    return names;
}

const char* EffectName(DWORD effect) {
    const char* const names[] = {"none", "copy", "move", "copy, move"};
    return effect < 4 ? names[effect] : "other";
}

// Lives as long as the program.
class CFileDropTarget : public IDropTarget {
public:
    explicit CFileDropTarget(HWND hText) : m_hText(hText) {}
    STDMETHOD(QueryInterface)(REFIID riid, void** ppv) override {
        *ppv = riid == IID_IUnknown || riid == IID_IDropTarget ? this : nullptr;
        return *ppv != nullptr ? S_OK : E_NOINTERFACE;
    }
    STDMETHOD_(ULONG, AddRef)() override { return 2; }
    STDMETHOD_(ULONG, Release)() override { return 1; }
    STDMETHOD(DragEnter)(IDataObject* pData, DWORD, POINTL, DWORD* pEffect) override {
        m_bFiles = pData->QueryGetData(&g_files) == S_OK;
        if (m_bFiles) ::SetWindowTextA(m_hText, "files over");
        return DragOver(0, POINTL{}, pEffect);
    }
    STDMETHOD(DragOver)(DWORD, POINTL, DWORD* pEffect) override {
        const DWORD wanted = *pEffect & DROPEFFECT_MOVE ? DROPEFFECT_MOVE : DROPEFFECT_COPY;
        *pEffect = m_bFiles ? *pEffect & wanted : DROPEFFECT_NONE;
        return S_OK;
    }
    STDMETHOD(DragLeave)() override { return S_OK; }
    STDMETHOD(Drop)(IDataObject* pData, DWORD, POINTL, DWORD* pEffect) override {
        const DWORD allowed = *pEffect;
        DragOver(0, POINTL{}, pEffect);
        const std::string shown = std::string("Dropped as ") + EffectName(*pEffect) +
                                  " (allowed: " + EffectName(allowed) + "):\n" +
                                  ReadFileNames(pData);
        ::SetWindowTextA(m_hText, shown.c_str());
        return S_OK;
    }

private:
    HWND m_hText;
    bool m_bFiles = false;
};

}  // namespace

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE, LPSTR, int) {
    if (FAILED(::OleInitialize(nullptr))) return 2;
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = &::DefWindowProcA;  // the tests end the program
    windowClass.hInstance = hInstance;
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = "KivrelDropTargetHost";
    ::RegisterClassA(&windowClass);
    const HWND hWnd = ::CreateWindowExA(0, windowClass.lpszClassName, "Drop target",
                                        WS_OVERLAPPEDWINDOW | WS_VISIBLE, 600, 40, 360, 200,
                                        nullptr, nullptr, hInstance, nullptr);
    const HWND hText = ::CreateWindowExA(0, "STATIC", "drop files here", WS_CHILD | WS_VISIBLE, 8,
                                         8, 330, 150, hWnd, nullptr, hInstance, nullptr);
    if (::RegisterDragDrop(hWnd, new CFileDropTarget(hText)) != S_OK) return 3;
    MSG msg;
    while (::GetMessageA(&msg, nullptr, 0, 0) > 0) ::DispatchMessageA(&msg);
    return 0;
}
