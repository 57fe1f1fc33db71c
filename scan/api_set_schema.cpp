#include "api_set_schema.h"

#include "byte_reader.h"
#include "mapped_image.h"
#include "text.h"

namespace kivrel {

namespace {
// Real schemas hold a few hundred to a few thousand entries; the cap keeps a
// hostile count from costing more memory than a schema can sensibly need.
constexpr uint32_t kMaxSchemaEntries = 32768;

enum NameResult { NAME_OK, NAME_SKIPPED, NAME_OUT_OF_BOUNDS };

// Reads a UTF-16 name of `length` bytes at `offset` as narrow text. A name
// outside the section is out of bounds; one of an odd length, longer than a
// path buffer, or with a character beyond ASCII (which no import name of the
// narrow interfaces can equal) is skipped.
NameResult ReadName(const ByteReader& bytes, uint32_t offset, uint32_t length, std::string& text) {
    text.clear();
    if (!bytes.Fits(offset, length)) return NAME_OUT_OF_BOUNDS;
    if (length % 2 != 0 || length / 2 >= kMaxPath) return NAME_SKIPPED;
    for (uint32_t i = 0; i < length; i += 2) {
        uint16_t unit = 0;
        bytes.ReadU16(uint64_t(offset) + i, unit);
        if (unit == 0 || unit >= 0x80) return NAME_SKIPPED;
        text += static_cast<char>(unit);
    }
    return NAME_OK;
}

// Checks that `count` records of `recordSize` bytes start at `offset`.
bool TableFits(const ByteReader& bytes, uint64_t offset, uint32_t count, uint32_t recordSize) {
    return count <= kMaxSchemaEntries && bytes.Fits(offset, uint64_t(count) * recordSize);
}

// Where the fields of each schema version lie. All offsets are from the start
// of the section; field offsets are within the record named.
//   Version 2: header {Version, Count}, entries follow it: {NameOffset,
//     NameLength, DataOffset}; at DataOffset {Count} and values {NameOffset,
//     NameLength, ValueOffset, ValueLength}. Names lack the "api-" prefix.
//   Version 4: header {Version, Size, Flags, Count}, entries follow it:
//     {Flags, NameOffset, NameLength, AliasOffset, AliasLength, DataOffset};
//     at DataOffset {Flags, Count} and values {Flags, NameOffset, NameLength,
//     ValueOffset, ValueLength}.
//   Version 6: header {Version, Size, Flags, Count, EntryOffset, HashOffset,
//     HashFactor}; entries at EntryOffset: {Flags, NameOffset, NameLength,
//     HashedLength, ValueOffset, ValueCount}; values as in version 4. The
//     hashed length covers the name up to its last hyphen, the part the
//     loader compares.
constexpr SchemaLayout kVersion2{4, 0, 8, 12, 0, 4, 4, 8, 0, 0, 4, 16, 8, 12};
constexpr SchemaLayout kVersion4{12, 0, 16, 24, 4, 8, 8, 20, 0, 4, 8, 20, 12, 16};
constexpr SchemaLayout kVersion6{12, 16, 0, 24, 4, 8, 12, 16, 20, 0, 0, 20, 12, 16};

const SchemaLayout* LayoutOf(uint32_t version) {
    switch (version) {
        case 2:
            return &kVersion2;
        case 4:
            return &kVersion4;
        case 6:
            return &kVersion6;
        default:
            return nullptr;
    }
}

// The name without ".dll" or the '.' an extension-less import was given.
std::string_view WithoutExtension(std::string_view name) {
    if (name.size() > 4 && EqualsNoCase(name.substr(name.size() - 4), ".dll")) {
        return name.substr(0, name.size() - 4);
    }
    if (!name.empty() && name.back() == '.') return name.substr(0, name.size() - 1);
    return name;
}
}  // namespace

bool IsApiSetName(std::string_view name) {
    return StartsWithNoCase(name, "api-") || StartsWithNoCase(name, "ext-");
}

void CApiSetSchema::Clear() {
    m_nVersion = 0;
    m_entries.clear();
}

bool CApiSetSchema::Load(const CMappedImage& image, std::string& error) {
    Clear();
    if (image.PeHeaders() == nullptr) {
        error = "not a PE image";
        return false;
    }
    uint32_t offset = 0, size = 0;
    if (!image.FindSection(".apiset", offset, size)) {
        error = "no .apiset section";
        return false;
    }
    return LoadSection(image.View() + offset, size, error);
}

bool CApiSetSchema::LoadSection(const uint8_t* data, uint32_t size, std::string& error) {
    Clear();
    const ByteReader bytes(data, size);
    uint32_t version = 0;
    if (!bytes.ReadU32(0, version)) {
        error = "the .apiset section is empty";
        return false;
    }
    const SchemaLayout* layout = LayoutOf(version);
    if (layout == nullptr) {
        error = "schema version " + std::to_string(version) + " is not supported";
        return false;
    }
    if (!ReadEntries(data, size, *layout, error)) {
        Clear();
        return false;
    }
    m_nVersion = version;
    return true;
}

bool CApiSetSchema::ReadEntries(const uint8_t* data, uint32_t size, const SchemaLayout& layout,
                                std::string& error) {
    const ByteReader bytes(data, size);
    uint32_t count = 0, entries = layout.entriesStart;
    if (!bytes.ReadU32(layout.countField, count) ||
        (layout.entriesField != 0 && !bytes.ReadU32(layout.entriesField, entries)) ||
        !TableFits(bytes, entries, count, layout.entrySize)) {
        error = "entry count out of range";
        return false;
    }
    for (uint32_t i = 0; i < count; ++i) {
        const uint64_t entry = entries + uint64_t(i) * layout.entrySize;
        uint32_t nameOffset = 0, nameLength = 0, keyLength = 0, values = 0, valueCount = 0;
        bytes.ReadU32(entry + layout.nameOffsetField, nameOffset);
        bytes.ReadU32(entry + layout.nameLengthField, nameLength);
        bytes.ReadU32(entry + layout.keyLengthField, keyLength);
        bytes.ReadU32(entry + layout.valuesField, values);
        uint64_t firstValue = values;
        if (layout.valueCountField != 0) {
            bytes.ReadU32(entry + layout.valueCountField, valueCount);
        } else if (bytes.ReadU32(uint64_t(values) + layout.listCountField, valueCount)) {
            firstValue += layout.listHeaderSize;
        } else {
            error = "value list out of range";
            return false;
        }
        if (!TableFits(bytes, firstValue, valueCount, layout.valueSize)) {
            error = "value list out of range";
            return false;
        }
        if (keyLength > nameLength || !bytes.Fits(nameOffset, nameLength)) {
            error = "a name runs off the section";
            return false;
        }
        std::string key, host;
        NameResult result = ReadName(bytes, nameOffset, keyLength, key);
        // Only the first value is read: the host for every importer that the
        // schema does not name, which is the one a scan of all importers at
        // once can report.
        if (result == NAME_OK && valueCount > 0) {
            uint32_t hostOffset = 0, hostLength = 0;
            bytes.ReadU32(firstValue + layout.hostOffsetField, hostOffset);
            bytes.ReadU32(firstValue + layout.hostLengthField, hostLength);
            if (ReadName(bytes, hostOffset, hostLength, host) == NAME_OUT_OF_BOUNDS) {
                result = NAME_OUT_OF_BOUNDS;
            }
        }
        if (result == NAME_OUT_OF_BOUNDS) {
            error = "a name runs off the section";
            return false;
        }
        if (result == NAME_OK) m_entries.emplace(ToLowerAscii(key), std::move(host));
    }
    return true;
}

CApiSetSchema::Lookup CApiSetSchema::Find(std::string_view name, std::string& host) const {
    host.clear();
    if (!IsLoaded() || !IsApiSetName(name)) return APISET_UNKNOWN;
    const std::string_view bare = WithoutExtension(name);
    auto found = m_entries.end();
    if (m_nVersion == 6) {
        // The loader compares the name up to its last hyphen, so that a
        // request for an older minor version finds the newer entry.
        const size_t hyphen = bare.rfind('-');
        if (hyphen == std::string_view::npos) return APISET_UNKNOWN;
        found = m_entries.find(ToLowerAscii(bare.substr(0, hyphen)));
    } else {
        // The whole name; older schemas store it without its prefix.
        found = m_entries.find(ToLowerAscii(bare));
        if (found == m_entries.end()) found = m_entries.find(ToLowerAscii(bare.substr(4)));
    }
    if (found == m_entries.end()) return APISET_UNKNOWN;
    if (found->second.empty()) return APISET_NO_HOST;
    host = found->second;
    return APISET_HOST;
}

}  // namespace kivrel
