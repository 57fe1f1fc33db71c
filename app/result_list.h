// The main dialog's results list: report lines, each carrying the index + 1
// of the module it names in the reference list, or 0. A drag of its lines
// also carries the selected found modules as files.
#pragma once

#include "generic_object_list.h"

class CResultList : public CGenericObjectList {
public:
    // Adds the selected lines that name found modules, in list order, as a
    // file list.
    void OnPrepareDragData(COleDataSource* pSource) override;
};
