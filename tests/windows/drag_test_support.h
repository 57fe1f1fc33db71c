// Drag-and-drop helpers of the GUI tests: a data object offering any bytes in
// any storage kind (its streams misbehave on request), a window whose drop
// target records what arrives, and real drags driven through the key state.
#pragma once

#include <windows.h>
// After windows.h, which it needs.
#include <ole2.h>

#include <map>
#include <string>

namespace kivrel_test {

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

// A stream's bytes; 'x' for ever; 'x' reporting more than was asked; one
// chunk of 'p', then an error.
enum class StreamKind { kPlain, kEndless, kOversized, kFailing };

class CTestDataObject : public CTestUnknown<IDataObject> {
public:
    CTestDataObject() : CTestUnknown(IID_IDataObject) {}  // one reference, the test's
    // GetData hands out `bytes` as `cf` in `delivered`, whatever was asked for.
    void Offer(CLIPFORMAT cf, const std::string& bytes, DWORD delivered = TYMED_HGLOBAL,
               StreamKind stream = StreamKind::kPlain) {
        m_entries[cf] = Entry{bytes, delivered, stream};
    }
    LONG References() const { return static_cast<LONG>(m_nRef); }
    size_t StreamBytesRead() const { return m_nStreamBytes; }

    STDMETHOD(GetData)(FORMATETC* pFormat, STGMEDIUM* pMedium) override;
    STDMETHOD(QueryGetData)(FORMATETC* pFormat) override {
        return m_entries.count(pFormat->cfFormat) != 0 ? S_OK : DV_E_FORMATETC;
    }
    // clang-format off
    STDMETHOD(GetDataHere)(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
    STDMETHOD(GetCanonicalFormatEtc)(FORMATETC*, FORMATETC*) override { return E_NOTIMPL; }
    STDMETHOD(SetData)(FORMATETC*, STGMEDIUM*, BOOL) override { return E_NOTIMPL; }
    STDMETHOD(EnumFormatEtc)(DWORD, IEnumFORMATETC**) override { return E_NOTIMPL; }
    STDMETHOD(DAdvise)(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override { return E_NOTIMPL; }
    STDMETHOD(DUnadvise)(DWORD) override { return E_NOTIMPL; }
    STDMETHOD(EnumDAdvise)(IEnumSTATDATA**) override { return E_NOTIMPL; }
    // clang-format on

private:
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
    DWORD allowedAtEnter = 0, allowedAtDrop = 0;
    std::map<CLIPFORMAT, std::string> data;  // every format listed, read at the drop
};

// A topmost window whose drop target records drags and answers `answer`
// fitted to what is allowed.
class CRecordingWindow {
public:
    CRecordingWindow(const RECT& screen, DWORD answer);
    ~CRecordingWindow();
    POINT Centre() const;
    DropRecord m_record;

private:
    class CTarget;
    HWND m_hWnd;
    CTarget* m_pTarget;
};

// Presses the left button at `fromClient` of `window` (with Ctrl when asked),
// moves the pointer to `toScreen` and drops there. Returns once the press
// handler has returned.
void DragWithMouse(HWND window, POINT fromClient, POINT toScreen, bool ctrl = false);
// Presses and releases at `fromClient` without moving, with the drag distance
// and delay out of reach: only the release decides, however slow the test.
void PressWithMouse(HWND window, POINT fromClient);

// The client centre of line `index` of a list box.
POINT LineCentre(HWND list, int index);

}  // namespace kivrel_test
