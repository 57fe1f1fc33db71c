// A font that keeps itself in the settings as one line of text, reads itself
// back from it, and lets the user choose a new one in the font chooser. A font
// is replaced only once its successor exists, so the controls using it never
// draw with a deleted handle.
#pragma once

#include "font_dialog.h"
#include "gdi.h"

// The font chooser with a caption the caller sets.
class CEditFontDialog : public CFontDialog {
    DECLARE_DYNAMIC(CEditFontDialog)
public:
    // `title` (kept by pointer; empty keeps the standard caption) must
    // outlive the dialog.
    CEditFontDialog(const char* title, LOGFONTA* plf, DWORD dwFlags, CWnd* pParentWnd);

    BOOL OnInitDialog() override;
};

class CEditableFont : public CFont {
    DECLARE_DYNAMIC(CEditableFont)
public:
    // How a font is made from its record; a seam for tests.
    using FontFactory = HFONT(WINAPI*)(const LOGFONTA*);

    CEditableFont() = default;

    // Section and entry by string number; FALSE when either string is missing.
    BOOL ReadProfile(UINT nIDSection, UINT nIDEntry);
    // Replaces the font by the one the entry describes. FALSE, the font
    // unchanged, when the entry is missing, empty or refused, or the font
    // cannot be made.
    BOOL ReadProfile(const char* section, const char* entry);
    BOOL WriteProfile(UINT nIDSection, UINT nIDEntry);
    // The result of the settings write; FALSE when no font is held.
    BOOL WriteProfile(const char* section, const char* entry);

    // Lets the user choose a font, starting from the held one, in a chooser
    // owned by `pParentWnd`; TRUE when a new font is held.
    BOOL EditWithDialog(UINT nIDTitle, CWnd* pParentWnd);
    BOOL EditWithDialog(const char* title, CWnd* pParentWnd);

    DWORD m_dwDialogFlags = 0;
    FontFactory m_pfnCreateFont = &::CreateFontIndirectA;

private:
    // The held font's record; FALSE when it cannot be read.
    BOOL GetLogFont(LOGFONTA& logFont) const;
    BOOL Replace(const LOGFONTA& logFont);
};
