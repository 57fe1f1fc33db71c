// The wait before a drag: a press becomes a drag once, with the button still
// held, the pointer leaves a small rectangle around the press or the system's
// drag delay has passed. Releasing the button, pressing the other one or
// Escape first means no drag. While waiting, mouse and key input is taken
// here, so the window under the press sees none of it; other messages
// (painting, timers) are dispatched.
#pragma once

#include <windows.h>

// The rectangle, in screen coordinates, that the pointer must leave: the
// system's minimum drag distance on every side of `ptScreen`.
RECT DragStartRect(POINT ptScreen);
// The system's drag delay in milliseconds.
DWORD DragDelay();

// TRUE when the drag should start. `hWnd` holds the mouse capture while
// waiting; `nButton` is MK_LBUTTON or MK_RBUTTON.
BOOL WaitForDragStart(HWND hWnd, const RECT& rcStartScreen, DWORD nButton);
