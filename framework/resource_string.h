// String resources of the application's resource module.
#pragma once

#include <windows.h>

#include <string>

// String `nID` of `module` (the application's: AfxGetResourceHandle()).
// FALSE, and `text` emptied, when the string is missing (or empty).
BOOL LoadResString(HINSTANCE module, UINT nID, std::string& text);
// The string, or "" when it is missing.
std::string LoadResString(HINSTANCE module, UINT nID);
