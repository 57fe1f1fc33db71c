// Drags started by a mouse press, and the wait before them: a press becomes
// a drag once, with the button still held, the pointer leaves a small
// rectangle around the press or the system's drag delay has passed.
// Releasing the button, pressing the other one or Escape first means no drag.
// While waiting, mouse and key input is taken here, so the window under the
// press sees none of it; other messages (painting, timers) are dispatched.
#pragma once

#include <windows.h>

#include <functional>

#include "drop_effect.h"

class COleDataSource;
class CWnd;

// The rectangle, in screen coordinates, that the pointer must leave: the
// system's minimum drag distance on every side of `ptScreen`.
RECT DragStartRect(POINT ptScreen);
// The system's drag delay in milliseconds.
DWORD DragDelay();

// TRUE when the drag should start. `hWnd` holds the mouse capture while
// waiting; `nButton` is MK_LBUTTON or MK_RBUTTON.
BOOL WaitForDragStart(HWND hWnd, const RECT& rcStartScreen, DWORD nButton);

// A press held back from the window's own handling until the drag is decided:
// none (the window has handled it), handled unless a drag started, or handled
// unless something was dropped (a cancelled drag included).
enum class HeldPress { kNone, kUnlessDragged, kUnlessDropped };

struct DragOutcome {
    bool bStarted = false;
    DROPEFFECT effect = DROPEFFECT_NONE;
};

// The drag protocol of a left-button press on `wnd` (`press` is that
// message): the wait for the drag, the drag of `pSource` with the allowed
// effects (no source: no drag), the source emptied, the held press handed to
// the window as `held` says, `after` with the outcome, and last the button
// release the drag loop took, sent again so that the window ends its own
// tracking of the press.
DragOutcome RunDragFromPress(CWnd& wnd, MSG press, COleDataSource* pSource,
                             const RECT& rcStartScreen, DWORD dwEffects, HeldPress held,
                             const std::function<void(const DragOutcome&)>& after = {});
