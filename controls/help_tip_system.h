// What the help tip window reads from the system, behind one interface so
// that its logic can run against a fake pointer, screen and monitors.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <vector>

class IHelpTipSystem {
public:
    virtual ~IHelpTipSystem() = default;

    // Pointer position in screen coordinates; FALSE when it cannot be read.
    virtual BOOL GetCursorPos(POINT* point) = 0;
    virtual HWND WindowFromPoint(POINT point) = 0;
    virtual HWND GetForegroundWindow() = 0;
    // The work area of the monitor nearest to the point.
    virtual BOOL GetWorkArea(POINT point, RECT* area) = 0;
    virtual int GetCursorHeight() = 0;
    virtual BOOL IsMousePresent() = 0;
    // The screen's pixels inside `area`, row by row from the top, each as
    // 0x00RRGGBB; FALSE when they cannot be read.
    virtual BOOL CaptureScreen(const RECT& area, std::vector<uint32_t>& pixels) = 0;
};

// The system itself.
std::unique_ptr<IHelpTipSystem> CreateNativeHelpTipSystem();
