// Drag-and-drop helpers of the GUI tests: a data object offering any bytes in
// any storage kind (its streams misbehave on request) and real drags driven
// through the key state.
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

struct DropResult {
    DWORD effect;
    size_t streamBytesRead;
};
// Drags a data object offering `bytes` as `cf` in `delivered` (whatever was
// asked for) over `target` at `screen` and, as OLE does, drops it only if
// the enter took it. Expects the target to keep no reference.
DropResult DropData(IDropTarget* target, POINT screen, DWORD keys, DWORD allowed, CLIPFORMAT cf,
                    const std::string& bytes, DWORD delivered = TYMED_HGLOBAL,
                    StreamKind stream = StreamKind::kPlain);

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
