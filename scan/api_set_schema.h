// The API set schema of the system: the table in the ".apiset" section of
// apisetschema.dll through which the loader maps a virtual module name such as
// api-ms-win-core-synch-l1-2-0.dll to the DLL that hosts it. The layouts of
// schema versions 2, 4 and 6 are read; a schema with anything out of bounds is
// refused as a whole.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>

namespace kivrel {

class CMappedImage;

// Field offsets of one schema version (api_set_schema.cpp).
struct SchemaLayout {
    uint32_t countField;    // header: the entry count
    uint32_t entriesField;  // header: the entries' offset, or 0 when they follow the header
    uint32_t entriesStart;  // where entries following the header begin
    uint32_t entrySize;
    uint32_t nameOffsetField, nameLengthField;
    uint32_t keyLengthField;   // the length of the part compared (the name length before 6)
    uint32_t valuesField;      // the values' offset (6) or that of their list header
    uint32_t valueCountField;  // the value count in the entry (6), or 0: in the list header
    uint32_t listCountField, listHeaderSize;
    uint32_t valueSize;
    uint32_t hostOffsetField, hostLengthField;
};

// True for a name the loader looks up in the schema: it begins with "api-" or
// "ext-", without regard to case.
bool IsApiSetName(std::string_view name);

class CApiSetSchema {
public:
    enum Lookup {
        APISET_UNKNOWN,  // the schema has no entry for the name
        APISET_NO_HOST,  // an entry without a host: the loader treats it as absent
        APISET_HOST,     // an entry with a host
    };

    // Reads the schema of a mapped apisetschema.dll. On failure the schema is
    // empty and `error` says why.
    bool Load(const CMappedImage& image, std::string& error);
    // Reads the schema from the bytes of an ".apiset" section.
    bool LoadSection(const uint8_t* data, uint32_t size, std::string& error);
    void Clear();

    bool IsLoaded() const { return m_nVersion != 0; }
    uint32_t Version() const { return m_nVersion; }
    size_t size() const { return m_entries.size(); }

    // Looks up an import name such as "api-ms-win-crt-stdio-l1-1-0.dll" (or
    // without extension, "...-l1-1-0."); `host` receives the default host.
    Lookup Find(std::string_view name, std::string& host) const;

private:
    bool ReadEntries(const uint8_t* data, uint32_t size, const SchemaLayout& layout,
                     std::string& error);

    uint32_t m_nVersion = 0;
    // Folded key -> default host ("" for none). Version 6 keys are the name up
    // to its last hyphen; older versions key the whole name as stored.
    std::unordered_map<std::string, std::string> m_entries;
};

}  // namespace kivrel
