// The main dialog's results list: report lines, each carrying the index + 1
// of the module it names in the reference list, or 0. A drag of its lines
// also carries the selected found modules as files; Ctrl+C copies the
// selected lines as text and Ctrl+A selects every line.
#pragma once

#include "generic_object_list.h"

class CResultList : public CGenericObjectList {
public:
    // Adds the selected lines that name found modules, in list order, as a
    // file list.
    void OnPrepareDragData(COleDataSource* pSource) override;
    // Puts the selected lines on the clipboard as text, in list order with
    // CRLF between them; FALSE when none is selected or the clipboard refused.
    BOOL CopySelection();

protected:
    void OnKeyDown(UINT nChar, UINT nRepCnt, UINT nFlags);
    void OnChar(UINT nChar, UINT nRepCnt, UINT nFlags);

    DECLARE_MESSAGE_MAP()
};
