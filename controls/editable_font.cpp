#include "editable_font.h"

#include <cstring>

#include "font_text.h"
#include "resource_string.h"
#include "win_app.h"

IMPLEMENT_DYNAMIC(CEditFontDialog, CFontDialog)
IMPLEMENT_DYNAMIC(CEditableFont, CFont)

namespace {

// Sizes the chooser offers, in points.
constexpr INT kSizeMin = 1;
constexpr INT kSizeMax = 50;
constexpr DWORD kChooserFlags =
    CF_SCREENFONTS | CF_INITTOLOGFONTSTRUCT | CF_LIMITSIZE | CF_FORCEFONTEXIST;

kivrel::FontRecord ToRecord(const LOGFONTA& logFont) {
    kivrel::FontRecord record;
    record.lfHeight = logFont.lfHeight;
    record.lfWidth = logFont.lfWidth;
    record.lfEscapement = logFont.lfEscapement;
    record.lfOrientation = logFont.lfOrientation;
    record.lfWeight = logFont.lfWeight;
    record.lfItalic = logFont.lfItalic;
    record.lfUnderline = logFont.lfUnderline;
    record.lfStrikeOut = logFont.lfStrikeOut;
    record.lfCharSet = logFont.lfCharSet;
    record.lfOutPrecision = logFont.lfOutPrecision;
    record.lfClipPrecision = logFont.lfClipPrecision;
    record.lfQuality = logFont.lfQuality;
    record.lfPitchAndFamily = logFont.lfPitchAndFamily;
    static_assert(sizeof(record.lfFaceName) == sizeof(logFont.lfFaceName), "face name");
    std::memcpy(record.lfFaceName, logFont.lfFaceName, sizeof(record.lfFaceName));
    record.lfFaceName[sizeof(record.lfFaceName) - 1] = '\0';
    return record;
}

LOGFONTA ToLogFont(const kivrel::FontRecord& record) {
    LOGFONTA logFont{};
    logFont.lfHeight = record.lfHeight;
    logFont.lfWidth = record.lfWidth;
    logFont.lfEscapement = record.lfEscapement;
    logFont.lfOrientation = record.lfOrientation;
    logFont.lfWeight = record.lfWeight;
    logFont.lfItalic = record.lfItalic;
    logFont.lfUnderline = record.lfUnderline;
    logFont.lfStrikeOut = record.lfStrikeOut;
    logFont.lfCharSet = record.lfCharSet;
    logFont.lfOutPrecision = record.lfOutPrecision;
    logFont.lfClipPrecision = record.lfClipPrecision;
    logFont.lfQuality = record.lfQuality;
    logFont.lfPitchAndFamily = record.lfPitchAndFamily;
    std::memcpy(logFont.lfFaceName, record.lfFaceName, sizeof(logFont.lfFaceName));
    return logFont;
}

}  // namespace

CEditFontDialog::CEditFontDialog(const char* title, LOGFONTA* plf, DWORD dwFlags, CWnd* pParentWnd)
    : CFontDialog(plf, dwFlags, nullptr, pParentWnd) {
    m_cf.lCustData = title != nullptr && title[0] != '\0' ? reinterpret_cast<LPARAM>(title) : 0;
}

BOOL CEditFontDialog::OnInitDialog() {
    CFontDialog::OnInitDialog();
    if (m_cf.lCustData != 0) SetWindowText(reinterpret_cast<const char*>(m_cf.lCustData));
    // The chooser has placed the focus already.
    return FALSE;
}

BOOL CEditableFont::GetLogFont(LOGFONTA& logFont) const {
    logFont = LOGFONTA{};
    if (m_hObject == nullptr) return FALSE;
    if (::GetObjectA(m_hObject, sizeof(logFont), &logFont) != sizeof(logFont)) {
        logFont = LOGFONTA{};
        return FALSE;
    }
    return TRUE;
}

BOOL CEditableFont::Replace(const LOGFONTA& logFont) {
    HFONT hFont = m_pfnCreateFont != nullptr ? m_pfnCreateFont(&logFont) : nullptr;
    if (hFont == nullptr) return FALSE;
    // Attach lets the old font go only now that the new one exists.
    return Attach(hFont);
}

BOOL CEditableFont::ReadProfile(UINT nIDSection, UINT nIDEntry) {
    std::string section;
    std::string entry;
    if (!LoadResString(AfxGetResourceHandle(), nIDSection, section) ||
        !LoadResString(AfxGetResourceHandle(), nIDEntry, entry))
        return FALSE;
    return ReadProfile(section.c_str(), entry.c_str());
}

BOOL CEditableFont::ReadProfile(const char* section, const char* entry) {
    const std::string text = AfxGetApp()->GetProfileString(section, entry);
    kivrel::FontRecord record;
    if (text.empty() || !kivrel::ParseFontText(text, record)) return FALSE;
    return Replace(ToLogFont(record));
}

BOOL CEditableFont::WriteProfile(UINT nIDSection, UINT nIDEntry) {
    std::string section;
    std::string entry;
    if (!LoadResString(AfxGetResourceHandle(), nIDSection, section) ||
        !LoadResString(AfxGetResourceHandle(), nIDEntry, entry))
        return FALSE;
    return WriteProfile(section.c_str(), entry.c_str());
}

BOOL CEditableFont::WriteProfile(const char* section, const char* entry) {
    LOGFONTA logFont;
    if (!GetLogFont(logFont)) return FALSE;
    const std::string text = kivrel::FormatFontText(ToRecord(logFont));
    return AfxGetApp()->WriteProfileString(section, entry, text.c_str());
}

BOOL CEditableFont::EditWithDialog(UINT nIDTitle, CWnd* pParentWnd) {
    const std::string title = LoadResString(AfxGetResourceHandle(), nIDTitle);
    return EditWithDialog(title.c_str(), pParentWnd);
}

BOOL CEditableFont::EditWithDialog(const char* title, CWnd* pParentWnd) {
    LOGFONTA logFont;
    if (!GetLogFont(logFont)) return FALSE;
    CEditFontDialog dialog(title, &logFont, m_dwDialogFlags | kChooserFlags, pParentWnd);
    dialog.m_cf.rgbColors = RGB(0, 0, 0);
    dialog.m_cf.nSizeMin = kSizeMin;
    dialog.m_cf.nSizeMax = kSizeMax;
    if (dialog.DoModal() != IDOK) return FALSE;
    return Replace(dialog.m_lf);
}
