#include "result_list.h"

BEGIN_MESSAGE_MAP(CResultList, CGenericObjectList)
END_MESSAGE_MAP()
