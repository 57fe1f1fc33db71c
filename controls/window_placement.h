// The stored form of a window placement, "left top right bottom showCmd",
// and the checks that keep a restored window usable whatever was stored.
#pragma once

#include <windows.h>

#include <string>

std::string FormatPlacement(const WINDOWPLACEMENT& placement);

// Reads the five numbers into the normal rectangle and show command of
// `placement`; the other fields stay. FALSE, with nothing changed, unless the
// text is exactly five integers in range.
bool ParsePlacement(const std::string& text, WINDOWPLACEMENT& placement);

// Makes a parsed placement safe to apply: a show command that would hide the
// window or that the platform does not know becomes SW_SHOWNORMAL; the normal
// rectangle is made at least `minSize` and at most its monitor's work area,
// and is moved onto the nearest monitor when its caption would be on none
// (a monitor that has been removed, or numbers that are out of range).
void FitPlacementOnScreen(WINDOWPLACEMENT& placement, SIZE minSize);
