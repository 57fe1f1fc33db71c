// The help-tip request: the help tip window sends WM_NOTIFY with code
// HTN_NEEDTEXT and this record to the window under the pointer, which writes
// its tip text into szText.
#pragma once

#include <windows.h>

#include <cstddef>

#define HTN_NEEDTEXT 10000

struct NMHELPTIP {
    NMHDR hdr;  // window asked, control id under the pointer, HTN_NEEDTEXT
    LONG x;     // proposed tip position, screen coordinates
    LONG y;
    DWORD dwFlags;  // 0
    char szText[512];
};

#if !defined(_WIN64)
// The record's layout as the 32-bit program defines it.
static_assert(sizeof(NMHELPTIP) == 536, "NMHELPTIP is 536 bytes");
static_assert(offsetof(NMHELPTIP, x) == 12 && offsetof(NMHELPTIP, y) == 16,
              "tip position at 12 and 16");
static_assert(offsetof(NMHELPTIP, dwFlags) == 20, "flags at 20");
static_assert(offsetof(NMHELPTIP, szText) == 24, "text buffer at 24");
#else
// The 64-bit build keeps the natural layout after its wider header; the
// record never leaves the process, so only the named fields count.
static_assert(offsetof(NMHELPTIP, x) == sizeof(NMHDR) && offsetof(NMHELPTIP, szText) == 36,
              "fields follow the header in order");
#endif

// Answers a request with string resource nID: the text is copied only when it
// loads and is shorter than the buffer. TRUE when it was copied.
BOOL AnswerHelpTip(NMHELPTIP* request, UINT nID);
