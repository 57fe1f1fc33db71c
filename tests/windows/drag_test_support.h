// Drag-and-drop helpers of the GUI tests: a data object made by the test
// (counting its references, offering any bytes in any storage kind, with
// streams that misbehave on request), a window whose drop target records
// what arrives, and a real drag driven through the thread's key state.
#pragma once

#include <windows.h>
// After windows.h, which it needs.
#include <ole2.h>

#include <map>
#include <string>

namespace kivrel_test {

// Reference counting and QueryInterface of a test object implementing `I`.
template <class I>
class CTestUnknown : public I {
public:
    explicit CTestUnknown(REFIID iid) : m_iid(iid) {}
    STDMETHOD(QueryInterface)(REFIID riid, void** ppv) override {
        *ppv = riid == IID_IUnknown || riid == m_iid ? static_cast<I*>(this) : nullptr;
        if (*ppv == nullptr) return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    STDMETHOD_(ULONG, AddRef)() override { return ++m_nRef; }
    STDMETHOD_(ULONG, Release)() override {
        const ULONG left = --m_nRef;
        if (left == 0) delete this;
        return left;
    }

protected:
    virtual ~CTestUnknown() = default;
    ULONG m_nRef = 1;
    const IID m_iid;
};

// How a stream handed out by the test's data object reads: its bytes, 'x'
// for ever, 'x' while reporting more than was asked, or one chunk of 'p'
// and then an error.
enum class StreamKind { kPlain, kEndless, kOversized, kFailing };

class CTestDataObject : public CTestUnknown<IDataObject> {
public:
    // One reference, the test's.
    static CTestDataObject* Create() { return new CTestDataObject(); }
    // Offers `bytes` as `cf`; a block of exactly their size. `delivered` is
    // the storage kind GetData hands out, whatever was asked for.
    void Offer(CLIPFORMAT cf, const std::string& bytes, DWORD delivered = TYMED_HGLOBAL,
               StreamKind stream = StreamKind::kPlain);
    LONG References() const { return static_cast<LONG>(m_nRef); }
    // Bytes read from streams handed out so far.
    size_t StreamBytesRead() const { return m_nStreamBytes; }
    // IDataObject: GetData hands out what was offered; the rest is not needed.

    STDMETHOD(GetData)(FORMATETC* pFormat, STGMEDIUM* pMedium) override;
    STDMETHOD(GetDataHere)(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
    STDMETHOD(QueryGetData)(FORMATETC* pFormat) override {
        return m_entries.count(pFormat->cfFormat) != 0 ? S_OK : DV_E_FORMATETC;
    }
    STDMETHOD(GetCanonicalFormatEtc)(FORMATETC*, FORMATETC*) override { return E_NOTIMPL; }
    STDMETHOD(SetData)(FORMATETC*, STGMEDIUM*, BOOL) override { return E_NOTIMPL; }
    STDMETHOD(EnumFormatEtc)(DWORD, IEnumFORMATETC**) override { return E_NOTIMPL; }
    STDMETHOD(DAdvise)(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override { return E_NOTIMPL; }
    STDMETHOD(DUnadvise)(DWORD) override { return E_NOTIMPL; }
    STDMETHOD(EnumDAdvise)(IEnumSTATDATA**) override { return E_NOTIMPL; }

private:
    CTestDataObject() : CTestUnknown(IID_IDataObject) {}
    struct Entry {
        std::string bytes;
        DWORD delivered;
        StreamKind stream;
    };
    std::map<CLIPFORMAT, Entry> m_entries;
    size_t m_nStreamBytes = 0;
};
// What a drop target of the test saw of one drag.
struct DropRecord {
    int drops = 0;
    DWORD allowedAtEnter = 0;
    DWORD allowedAtDrop = 0;
    std::map<CLIPFORMAT, std::string> data;  // every format the data object lists, at the drop
};

// A visible top-level window whose registered drop target records drags and
// answers `answer` to each.
class CRecordingWindow {
public:
    CRecordingWindow(const RECT& screen, DWORD answer);
    ~CRecordingWindow();
    HWND Window() const { return m_hWnd; }
    POINT Centre() const;
    DropRecord m_record;

private:
    class CTarget;
    HWND m_hWnd = nullptr;
    CTarget* m_pTarget = nullptr;
};

enum class DragEnd { kDrop, kEscape };

// Presses the left button at `fromClient` of `window` (with Ctrl when asked),
// moves the pointer to `toScreen` and drops there or presses Escape. Returns
// once the window's press handler has returned.
void DragWithMouse(HWND window, POINT fromClient, POINT toScreen, bool ctrl = false,
                   DragEnd end = DragEnd::kDrop);
// Presses and releases the left button at `fromClient` after `holdMs`
// without moving. Meanwhile the system's drag distance and delay are too large
// to reach: only the release decides, however slowly the test runs.
void PressWithMouse(HWND window, POINT fromClient, DWORD holdMs);

// Moves the pointer and waits until the system reports it there.
void MoveCursor(POINT to);

// The client centre of line `index` of a list box.
POINT LineCentre(HWND list, int index);

}  // namespace kivrel_test
