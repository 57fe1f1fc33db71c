// Drop effects, and fitting the effect a target wants to what the source of
// the drag allows.
#pragma once

#include <windows.h>
// After windows.h, which it needs.
#include <ole2.h>

typedef DWORD DROPEFFECT;

// An allowed effect stays; a copy that is not allowed becomes a move, else a
// link; a move becomes a copy, else a link; otherwise nothing.
inline DROPEFFECT FitDropEffect(DROPEFFECT wanted, DROPEFFECT allowed) {
    if (wanted == DROPEFFECT_NONE || (wanted & allowed) == wanted) return wanted;
    const DROPEFFECT other = wanted == DROPEFFECT_COPY ? DROPEFFECT_MOVE : DROPEFFECT_COPY;
    const DROPEFFECT order[] = {other, DROPEFFECT_LINK};
    for (DROPEFFECT next : order) {
        if (allowed & next) return next;
    }
    return DROPEFFECT_NONE;
}
