// The line record: one list line as it travels in a drag, in the registered
// format "CGenericObjectList". Its 156-byte layout is the same in every build.
// A record arriving from a drop is read only through ReadLineRecord, which
// trusts nothing beyond the block that holds it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace kivrel {

struct LineRecord {
    uint32_t dwProcessId;
    // Identity of the source list, only ever compared inside its process.
    uint32_t dwListId;
    uint32_t dwItemData;
    char szText[128];
    char szGroup[16];
};
static_assert(sizeof(LineRecord) == 156, "the line record is 156 bytes");
static_assert(offsetof(LineRecord, dwListId) == 4 && offsetof(LineRecord, dwItemData) == 8,
              "list identity at 4, item value at 8");
static_assert(offsetof(LineRecord, szText) == 12 && offsetof(LineRecord, szGroup) == 140,
              "text at 12, group at 140");

// Which bytes of the code page begin a double-byte character.
class CLeadBytes {
public:
    // A single-byte code page.
    CLeadBytes() = default;
    // Pairs of first and last lead byte, ended by a zero pair or by `size`
    // (the code page's CPINFO::LeadByte).
    CLeadBytes(const unsigned char* ranges, size_t size);
    bool IsLead(unsigned char c) const { return m_bLead[c]; }

private:
    bool m_bLead[256] = {};
};

// The length of the longest start of `text` that has at most `maxBytes`
// bytes and does not end inside a double-byte character.
size_t FitText(const std::string& text, size_t maxBytes, const CLeadBytes& leadBytes);

struct LineRecordFields {
    uint32_t processId = 0;
    uint32_t listId = 0;
    uint32_t itemData = 0;
    std::string text;
    std::string group;
};

// The record of a line; the text is cut to 127 bytes and the group to 15,
// neither inside a double-byte character.
LineRecord MakeLineRecord(const LineRecordFields& fields, const CLeadBytes& leadBytes);

// The fields of a record in a block of `size` bytes: none when the block is
// shorter than a record. Both texts end at their field's last byte at the
// latest, whatever the block holds.
std::optional<LineRecordFields> ReadLineRecord(const void* block, size_t size);

}  // namespace kivrel
