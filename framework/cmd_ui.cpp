#include "cmd_ui.h"

#include "wnd.h"

void CCmdUI::Enable(BOOL bOn) {
    ::EnableMenuItem(m_hMenu, m_nIndex, MF_BYPOSITION | (bOn ? MF_ENABLED : MF_GRAYED));
    m_bEnableChanged = TRUE;
}

void CCmdUI::SetCheck(int nCheck) {
    ::CheckMenuItem(m_hMenu, m_nIndex, MF_BYPOSITION | (nCheck != 0 ? MF_CHECKED : MF_UNCHECKED));
}

void CCmdUI::DoUpdate(CWnd* pTarget, BOOL bDisableIfNoHandler) {
    m_bEnableChanged = FALSE;
    if (pTarget == nullptr) return;
    pTarget->OnCmdMsg(m_nID, CN_UPDATE_COMMAND_UI, reinterpret_cast<LPARAM>(this));
    if (bDisableIfNoHandler && !m_bEnableChanged) Enable(pTarget->HasCmdHandler(m_nID));
}
