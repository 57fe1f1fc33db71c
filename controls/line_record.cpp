#include "line_record.h"

#include <cstring>

namespace kivrel {

CLeadBytes::CLeadBytes(const unsigned char* ranges, size_t size) {
    for (size_t i = 0; i + 1 < size; i += 2) {
        if (ranges[i] == 0 && ranges[i + 1] == 0) break;
        for (unsigned c = ranges[i]; c <= ranges[i + 1]; ++c) m_bLead[c] = true;
    }
}

size_t FitText(const std::string& text, size_t maxBytes, const CLeadBytes& leadBytes) {
    size_t length = 0;
    while (length < text.size()) {
        const bool pair =
            leadBytes.IsLead(static_cast<unsigned char>(text[length])) && length + 1 < text.size();
        const size_t next = length + (pair ? 2 : 1);
        if (next > maxBytes) break;
        length = next;
    }
    return length;
}

namespace {
template <size_t N>
void CopyField(char (&field)[N], const std::string& text, const CLeadBytes& leadBytes) {
    const size_t length = FitText(text, N - 1, leadBytes);
    std::memcpy(field, text.data(), length);
    std::memset(field + length, 0, N - length);
}

template <size_t N>
std::string ReadField(const char (&field)[N]) {
    return std::string(field, strnlen(field, N - 1));
}
}  // namespace

LineRecord MakeLineRecord(const LineRecordFields& fields, const CLeadBytes& leadBytes) {
    LineRecord record{};
    record.dwProcessId = fields.processId;
    record.dwListId = fields.listId;
    record.dwItemData = fields.itemData;
    CopyField(record.szText, fields.text, leadBytes);
    CopyField(record.szGroup, fields.group, leadBytes);
    return record;
}

std::optional<LineRecordFields> ReadLineRecord(const void* block, size_t size) {
    if (block == nullptr || size < sizeof(LineRecord)) return std::nullopt;
    LineRecord record;
    std::memcpy(&record, block, sizeof(record));
    LineRecordFields fields;
    fields.processId = record.dwProcessId;
    fields.listId = record.dwListId;
    fields.itemData = record.dwItemData;
    fields.text = ReadField(record.szText);
    fields.group = ReadField(record.szGroup);
    return fields;
}

}  // namespace kivrel
