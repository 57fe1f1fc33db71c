// The main dialog's results list: report lines, each carrying the index + 1
// of the module it names in the reference list, or 0.
#pragma once

#include "generic_object_list.h"

class CResultList : public CGenericObjectList {
    DECLARE_MESSAGE_MAP()
};
