#include "export_table.h"

#include <algorithm>

#include "byte_reader.h"
#include "import_walk.h"
#include "mapped_image.h"
#include "text.h"

namespace kivrel {

namespace {
// IMAGE_EXPORT_DIRECTORY: 40 bytes.
constexpr uint32_t kDirectorySize = 40;
constexpr uint32_t kBase = 16, kFunctionCount = 20, kNameCount = 24;
constexpr uint32_t kFunctions = 28, kNames = 32, kNameOrdinals = 36;

// How many `entrySize`-byte entries of the table at `rva` lie in the file, at
// most `claimed`; `offset` receives its file offset.
uint32_t EntriesInFile(const CMappedImage& image, uint32_t rva, uint32_t claimed,
                       uint32_t entrySize, uint32_t& offset) {
    offset = image.RvaToFileOffset(rva);
    if (claimed == 0 || offset == kNoFileOffset || offset >= image.FileSize()) return 0;
    return std::min(claimed, (image.FileSize() - offset) / entrySize);
}
}  // namespace

CExportTable CExportTable::Read(const CMappedImage& image, std::pmr::memory_resource* memory) {
    CExportTable table(memory);
    const uint32_t directory = image.GetDirectoryEntryOffset(kExportDirectory);
    const ByteReader& bytes = image.Bytes();
    uint32_t functionCount = 0, nameCount = 0, functions = 0, names = 0, ordinals = 0;
    if (directory == kNoFileOffset || !bytes.Fits(directory, kDirectorySize)) return table;
    bytes.ReadU32(directory + kBase, table.m_nBase);
    bytes.ReadU32(directory + kFunctionCount, functionCount);
    bytes.ReadU32(directory + kNameCount, nameCount);
    bytes.ReadU32(directory + kFunctions, functions);
    bytes.ReadU32(directory + kNames, names);
    bytes.ReadU32(directory + kNameOrdinals, ordinals);

    // The tables are read only as far as the file holds them, whatever the
    // counts claim.
    uint32_t at = 0;
    table.m_addresses.resize(EntriesInFile(image, functions, functionCount, 4, at));
    for (uint32_t i = 0; i < table.m_addresses.size(); ++i)
        bytes.ReadU32(uint64_t(at) + 4ull * i, table.m_addresses[i]);

    uint32_t namesAt = 0, ordinalsAt = 0;
    const uint32_t readableNames =
        std::min(EntriesInFile(image, names, nameCount, 4, namesAt),
                 EntriesInFile(image, ordinals, nameCount, 2, ordinalsAt));
    table.m_names.reserve(readableNames);
    // A linker puts the tables, the names and the forwarder texts inside the
    // export directory: its size (cut to the file) without the tables is a
    // good first guess.
    const uint64_t tables = kDirectorySize + 4ull * table.m_addresses.size() + 6ull * readableNames;
    const uint64_t directorySize = std::min<uint64_t>(image.GetDirectoryEntrySize(kExportDirectory),
                                                      image.FileSize() - directory);
    table.m_text.reserve(directorySize > tables ? directorySize - tables : 0);
    uint64_t budget = image.FileSize();
    auto copyText = [&](uint32_t rva, size_t limit) {
        std::string_view text;
        if (ReadBudgetedName(bytes, image.RvaToFileOffset(rva), limit, budget, text) != NAME_READ)
            return kUnreadable;
        const uint32_t start = static_cast<uint32_t>(table.m_text.size());
        table.m_text.append(text).push_back('\0');
        return start;
    };
    for (uint32_t i = 0; i < readableNames; ++i) {
        Name name{};
        uint32_t nameRva = 0;
        bytes.ReadU32(uint64_t(namesAt) + 4ull * i, nameRva);
        bytes.ReadU16(uint64_t(ordinalsAt) + 2ull * i, name.ordinal);
        const size_t before = table.m_text.size();
        name.start = copyText(nameRva, kMaxFunctionName + 1);
        name.length = name.start == kUnreadable ? 0 : uint32_t(table.m_text.size() - before - 1);
        table.m_names.push_back(name);
    }

    // The loader's binary search compares names as they stand (an unreadable
    // one as empty). Only for a table it cannot search are the readable names
    // indexed in name order, to tell a name it misses from one it lacks.
    auto byName = [&table](uint32_t a, uint32_t b) { return table.NameAt(a) < table.NameAt(b); };
    bool sorted = true;
    for (uint32_t i = 1; sorted && i < readableNames; ++i) sorted = !byName(i, i - 1);
    if (!sorted) {
        for (uint32_t i = 0; i < readableNames; ++i)
            if (table.m_names[i].start != kUnreadable) table.m_nameOrder.push_back(i);
        std::stable_sort(table.m_nameOrder.begin(), table.m_nameOrder.end(), byName);
    }

    // An address inside the export directory is a forwarder's text. Each text
    // is copied once, however many exports share it.
    const uint64_t forwardStart = image.GetDirectoryEntryRva(kExportDirectory);
    const uint64_t forwardEnd = forwardStart + image.GetDirectoryEntrySize(kExportDirectory);
    auto forwards = [&](uint32_t rva) { return rva >= forwardStart && rva < forwardEnd; };
    auto& forwarders = table.m_forwarders;  // (RVA, address index) until the texts are copied
    forwarders.reserve(static_cast<size_t>(
        std::count_if(table.m_addresses.begin(), table.m_addresses.end(), forwards)));
    for (uint32_t i = 0; i < table.m_addresses.size(); ++i)
        if (forwards(table.m_addresses[i])) forwarders.emplace_back(table.m_addresses[i], i);
    std::sort(forwarders.begin(), forwarders.end());
    uint32_t lastRva = 0, lastStart = kUnreadable;
    for (size_t k = 0; k < forwarders.size(); ++k) {
        const auto [rva, index] = forwarders[k];
        if (k == 0 || rva != lastRva) lastStart = copyText(rva, kMaxPath + kMaxFunctionName + 1);
        lastRva = rva;
        forwarders[k] = {index, lastStart};
    }
    std::sort(table.m_forwarders.begin(), table.m_forwarders.end());
    return table;
}

std::string_view CExportTable::NameAt(size_t i) const {
    const Name& name = m_names[i];
    return name.start == kUnreadable ? std::string_view()
                                     : std::string_view(m_text.data() + name.start, name.length);
}

ExportMatch CExportTable::Entry(uint32_t index) const {
    ExportMatch match;
    match.index = index;
    if (index >= m_addresses.size()) {
        match.reason = "its ordinal lies beyond the export address table";
    } else if (m_addresses[index] == 0) {
        match.reason = "its export address table entry is 0";
    } else {
        match.found = true;
        const auto forwarder = std::lower_bound(m_forwarders.begin(), m_forwarders.end(),
                                                std::make_pair(index, uint32_t(0)));
        if (forwarder != m_forwarders.end() && forwarder->first == index) {
            if (forwarder->second == kUnreadable) {
                match.found = false;
                match.reason = "its forwarder text cannot be read";
            } else {
                match.forwarder = m_text.c_str() + forwarder->second;
            }
        }
    }
    return match;
}

ExportMatch CExportTable::FindName(std::string_view name, uint16_t hint) const {
    // An unreadable name compares as empty (below every other) and matches nothing.
    auto matches = [&](size_t i) { return m_names[i].start != kUnreadable && NameAt(i) == name; };
    const size_t count = m_names.size();
    if (hint < count && matches(hint)) return Entry(m_names[hint].ordinal);
    size_t low = 0, high = count;
    while (low < high) {
        const size_t middle = low + (high - low) / 2;
        const int order = name.compare(NameAt(middle));
        if (order == 0 && m_names[middle].start != kUnreadable)
            return Entry(m_names[middle].ordinal);
        if (order < 0)
            high = middle;
        else
            low = middle + 1;
    }
    ExportMatch missing;
    missing.reason = "not exported";
    const auto at = std::lower_bound(
        m_nameOrder.begin(), m_nameOrder.end(), name,
        [this](uint32_t i, std::string_view wanted) { return NameAt(i) < wanted; });
    if (at != m_nameOrder.end() && NameAt(*at) == name) {
        missing.reason =
            "exported, but the export name table is not sorted and the "
            "loader's search does not reach it";
    }
    if (m_addresses.empty()) missing.reason = "the module exports nothing";
    return missing;
}

ExportMatch CExportTable::FindOrdinal(uint32_t ordinal) const {
    if (ordinal < m_nBase) {
        ExportMatch missing;
        missing.reason = "its ordinal lies below the export base";
        return missing;
    }
    return Entry(ordinal - m_nBase);
}

bool ParseForwarder(std::string_view text, Forwarder& forwarder) {
    const size_t dot = text.rfind('.');
    if (dot == std::string_view::npos || dot == 0 || dot + 1 == text.size()) return false;
    const std::string_view module = text.substr(0, dot), name = text.substr(dot + 1);
    const bool hasExtension = module.find('.') != std::string_view::npos;
    if (!FitsPathBuffer(module) || (!hasExtension && module.size() + 4 >= kMaxPath)) return false;
    forwarder.module.assign(module);
    if (!hasExtension) forwarder.module += ".dll";
    forwarder.name = {};
    forwarder.ordinal = 0;
    if (name[0] != '#') {
        forwarder.name = name;
        return true;
    }
    if (name.size() < 2 || name.size() > 6) return false;
    uint32_t ordinal = 0;
    for (const char c : name.substr(1)) {
        if (c < '0' || c > '9') return false;
        ordinal = ordinal * 10 + uint32_t(c - '0');
    }
    forwarder.ordinal = static_cast<uint16_t>(ordinal);
    return ordinal >= 1 && ordinal <= 0xFFFF;
}

}  // namespace kivrel
