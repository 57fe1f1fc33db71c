// String resources of the application's resource module.
#pragma once

#include <windows.h>

#include <string>

// FALSE, and `text` emptied, when the string is missing (or empty).
BOOL LoadResString(UINT nID, std::string& text);
// The string, or "" when it is missing.
std::string LoadResString(UINT nID);
