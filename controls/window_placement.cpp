#include "window_placement.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>

std::string FormatPlacement(const WINDOWPLACEMENT& placement) {
    char text[80];
    const RECT& rc = placement.rcNormalPosition;
    std::snprintf(text, sizeof(text), "%d %d %d %d %d", static_cast<int>(rc.left),
                  static_cast<int>(rc.top), static_cast<int>(rc.right), static_cast<int>(rc.bottom),
                  static_cast<int>(placement.showCmd));
    return text;
}

bool ParsePlacement(const std::string& text, WINDOWPLACEMENT& placement) {
    long values[5];
    const char* p = text.c_str();
    for (long& value : values) {
        char* end = nullptr;
        errno = 0;
        value = std::strtol(p, &end, 10);
        if (end == p || errno == ERANGE || value < INT_MIN || value > INT_MAX) return false;
        if (*end != '\0' && !std::isspace(static_cast<unsigned char>(*end))) return false;
        p = end;
    }
    while (std::isspace(static_cast<unsigned char>(*p))) ++p;
    if (*p != '\0') return false;
    placement.rcNormalPosition = RECT{values[0], values[1], values[2], values[3]};
    placement.showCmd = static_cast<UINT>(values[4]);
    return true;
}

namespace {
LONG ClampToLong(long long value) {
    return static_cast<LONG>(value < INT_MIN ? INT_MIN : value > INT_MAX ? INT_MAX : value);
}
}  // namespace

void FitPlacementOnScreen(WINDOWPLACEMENT& placement, SIZE minSize) {
    if (placement.showCmd == SW_HIDE || placement.showCmd > SW_MAX) {
        placement.showCmd = SW_SHOWNORMAL;
    }
    RECT& rc = placement.rcNormalPosition;
    // In 64 bits: stored edges may be anywhere in the int range.
    long long left = rc.left;
    long long top = rc.top;
    long long width = std::max<long long>(static_cast<long long>(rc.right) - left, minSize.cx);
    long long height = std::max<long long>(static_cast<long long>(rc.bottom) - top, minSize.cy);

    // The caption strip decides whether the window can still be reached and
    // moved. (The stored rectangle is in workspace coordinates, which differ
    // from screen coordinates by at most a task bar: close enough here.)
    const int caption = GetSystemMetrics(SM_CYCAPTION) + GetSystemMetrics(SM_CYSIZEFRAME);
    const RECT strip{ClampToLong(left), ClampToLong(top), ClampToLong(left + width),
                     ClampToLong(top + caption)};
    HMONITOR monitor = MonitorFromRect(&strip, MONITOR_DEFAULTTONULL);
    const bool reachable = monitor != nullptr;
    if (!reachable) monitor = MonitorFromRect(&strip, MONITOR_DEFAULTTONEAREST);
    MONITORINFO info{};
    info.cbSize = sizeof(info);
    if (monitor == nullptr || !GetMonitorInfoA(monitor, &info)) return;
    const RECT& work = info.rcWork;
    width = std::min<long long>(width, std::max<long long>(work.right - work.left, minSize.cx));
    height = std::min<long long>(height, std::max<long long>(work.bottom - work.top, minSize.cy));
    if (!reachable) {
        left = std::max<long long>(std::min<long long>(left, work.right - width), work.left);
        top = std::max<long long>(std::min<long long>(top, work.bottom - height), work.top);
    }
    rc = RECT{ClampToLong(left), ClampToLong(top), ClampToLong(left + width),
              ClampToLong(top + height)};
}
