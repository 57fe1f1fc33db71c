// Drag-and-drop helpers of the GUI tests: drops of any bytes (in a block, or
// as a stream that misbehaves on request) and real drags driven through the
// key state.
#pragma once

#include <windows.h>
// After windows.h, which it needs.
#include <ole2.h>

#include <functional>
#include <string>

namespace kivrel_test {

// A block; a stream of the bytes; 'x' for ever; 'x' reporting more than was
// asked; one chunk of 'p', then an error.
enum class StreamKind { kNone, kPlain, kEndless, kOversized, kFailing };

struct DropResult {
    DWORD effect;
    size_t streamBytesRead;
};
// Drags `bytes` offered as `cf` over `target` at `screen` and, as OLE does,
// drops them only if the enter took them.
DropResult DropData(IDropTarget* target, POINT screen, DWORD keys, DWORD allowed, CLIPFORMAT cf,
                    const std::string& bytes, StreamKind stream = StreamKind::kNone);

// Presses the left button at `fromClient` of `window` (with Ctrl when asked),
// moves the pointer to `toScreen` and drops there; `midway` runs while the
// drag is under way. Returns once the press handler has returned.
void DragWithMouse(HWND window, POINT fromClient, POINT toScreen, bool ctrl = false,
                   const std::function<void()>& midway = {});
// Presses and releases at `fromClient` without moving, with the drag distance
// and delay out of reach: only the release decides, however slow the test.
void PressWithMouse(HWND window, POINT fromClient);

// The client centre of line `index` of a list box.
POINT LineCentre(HWND list, int index);

}  // namespace kivrel_test
