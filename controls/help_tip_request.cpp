#include "help_tip_request.h"

#include <cstring>
#include <string>

#include "resource_string.h"
#include "win_app.h"

BOOL AnswerHelpTip(NMHELPTIP* request, UINT nID) {
    std::string text;
    if (request == nullptr || nID == 0 || !LoadResString(AfxGetResourceHandle(), nID, text))
        return FALSE;
    if (text.size() >= sizeof(request->szText)) return FALSE;
    std::memcpy(request->szText, text.c_str(), text.size() + 1);
    return TRUE;
}
