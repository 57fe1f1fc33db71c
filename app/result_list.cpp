#include "result_list.h"

#include <shellapi.h>

#include <string>
#include <vector>

#include "file_list.h"
#include "global_memory.h"
#include "ole_data_source.h"

void CResultList::OnPrepareDragData(COleDataSource* pSource) {
    std::vector<std::string> names;
    const int count = GetCount();
    for (int i = 0; i < count; ++i) {
        if (GetSel(i) > 0 && GetItemData(i) != 0) names.push_back(GetText(i));
    }
    const std::vector<uint8_t> list = kivrel::BuildFileList(names);
    if (list.empty()) return;
    // A block the source does not take is freed with `block`.
    CGlobalHandle block = AllocateGlobalCopy(list.data(), list.size());
    if (block) pSource->CacheGlobalData(CF_HDROP, block);
}
