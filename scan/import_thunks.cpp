#include "import_thunks.h"

#include <algorithm>

#include "byte_reader.h"
#include "export_table.h"
#include "import_walk.h"
#include "mapped_image.h"

namespace kivrel {

namespace {
constexpr uint32_t kOriginalFirstThunk = 0, kFirstThunk = 16;  // import descriptor
constexpr uint32_t kDelayNameTable = 16, kDelayRvaBased = 1;   // delay-load descriptor
// Most exported C and C++ names are shorter than this.
constexpr size_t kTypicalFunctionName = 24;

// Reads thunk lists onto the end of an ImportedFunctions. Well-formed lists do not
// share thunks or names, so the budgets (thunks and name bytes still to read,
// both from the file's size) stop only the lists of a hostile table.
class CThunkReader {
public:
    explicit CThunkReader(const CMappedImage& image)
        : m_image(image),
          m_nThunkSize(image.IsPe32Plus() ? 8 : 4),
          m_nThunkBudget(image.FileSize() / m_nThunkSize),
          m_nNameBudget(image.FileSize()) {}

    // How many thunks the list at `rva` holds before its zero, within the
    // same budget as Read (a counter and a reader have a budget each).
    size_t Count(uint32_t rva) {
        size_t count = 0;
        ForEachThunk(rva, [&count](uint64_t) { ++count; });
        return count;
    }

    // `vaBase` is subtracted from hint/name addresses (the older delay-load
    // layout holds virtual addresses there); 0 for RVAs. Returns how many
    // functions it added.
    uint32_t Read(uint32_t rva, uint64_t vaBase, ImportedFunctions& into) {
        const size_t before = into.functions.size();
        const uint64_t ordinalFlag = m_nThunkSize == 8 ? 1ull << 63 : 1ull << 31;
        ForEachThunk(rva, [&](uint64_t value) {
            ImportedFunction function;
            function.byOrdinal = (value & ordinalFlag) != 0;
            if (function.byOrdinal) {
                function.hint = static_cast<uint16_t>(value);
            } else if (value < vaBase || value - vaBase > 0x7FFFFFFF ||
                       !ReadHintName(static_cast<uint32_t>(value - vaBase), function, into)) {
                return;  // a hint/name RVA has 31 bits and lies in the file
            }
            into.functions.push_back(function);
        });
        return static_cast<uint32_t>(into.functions.size() - before);
    }

private:
    // Calls `visit(value)` for each nonzero thunk of the list at `rva`, up to
    // its zero, the end of the file or of the budget.
    template <typename Visit>
    void ForEachThunk(uint32_t rva, Visit visit) {
        const ByteReader& bytes = m_image.Bytes();
        const uint32_t first = rva == 0 ? kNoFileOffset : m_image.RvaToFileOffset(rva);
        if (first == kNoFileOffset || !bytes.Fits(first, 0)) return;
        // The thunks that the file and the budget hold, counted once.
        const uint64_t fit =
            std::min<uint64_t>((bytes.Size() - first) / m_nThunkSize, m_nThunkBudget);
        const uint8_t* at = bytes.Data() + first;
        for (uint64_t i = 0; i < fit; ++i, at += m_nThunkSize) {
            --m_nThunkBudget;
            uint64_t value = ByteReader::LoadU32(at);
            if (m_nThunkSize == 8) value |= uint64_t(ByteReader::LoadU32(at + 4)) << 32;
            if (value == 0) return;
            visit(value);
        }
    }

    bool ReadHintName(uint32_t rva, ImportedFunction& function, ImportedFunctions& into) {
        const uint32_t offset = m_image.RvaToFileOffset(rva);
        std::string_view name;
        if (!m_image.Bytes().ReadU16(offset, function.hint) ||
            ReadBudgetedName(m_image.Bytes(), offset + 2, kMaxFunctionName + 1, m_nNameBudget,
                             name) != NAME_READ) {
            return false;
        }
        function.nameAt = static_cast<uint32_t>(into.text.size());
        function.nameSize = static_cast<uint32_t>(name.size());
        into.text.append(name);
        return true;
    }

    const CMappedImage& m_image;
    const uint32_t m_nThunkSize;
    uint64_t m_nThunkBudget, m_nNameBudget;
};
}  // namespace

ImportedFunctions ReadImportedFunctions(const CMappedImage& image, bool delayLoad,
                                        WalkResult* importWalk, std::pmr::memory_resource* memory) {
    ImportedFunctions imports(memory);
    if (image.PeHeaders() == nullptr) return imports;
    const ByteReader& bytes = image.Bytes();
    // The descriptors first, each with its lookup table; a module's name is
    // located by its file offset until every array is sized once, by a count
    // of the thunks.
    const uint8_t* view = bytes.Data();
    auto add = [&](std::string_view name, uint32_t lookup, bool delayLoad, bool vaBased) {
        ImportedModule module;
        module.nameAt = static_cast<uint32_t>(reinterpret_cast<const uint8_t*>(name.data()) - view);
        module.nameSize = static_cast<uint32_t>(name.size());
        module.lookup = lookup;
        module.delayLoad = delayLoad;
        module.vaBased = vaBased;
        imports.modules.push_back(module);
    };
    // A descriptor is 20 bytes, a delay-load one 32: the directories' sizes
    // (cut to the file) are good first guesses at their counts.
    const uint32_t fileSize = image.FileSize();
    size_t descriptors = std::min(image.GetDirectoryEntrySize(kImportDirectory), fileSize) / 20;
    if (delayLoad)
        descriptors += std::min(image.GetDirectoryEntrySize(kDelayImportDirectory), fileSize) / 32;
    imports.modules.reserve(descriptors);
    const WalkResult walk =
        WalkImportDescriptors(image, [&](std::string_view name, uint64_t record) {
            uint32_t lookup = 0;
            bytes.ReadU32(record + kOriginalFirstThunk, lookup);
            if (lookup == 0) bytes.ReadU32(record + kFirstThunk, lookup);
            add(name, lookup, false, false);
        });
    if (delayLoad) {
        WalkDelayLoadDescriptors(image, [&](std::string_view name, uint64_t record) {
            uint32_t lookup = 0, attributes = 0;
            if (!DelayLoadFieldRva(image, record, kDelayNameTable, lookup)) lookup = 0;
            bytes.ReadU32(record, attributes);
            add(name, lookup, true, (attributes & kDelayRvaBased) == 0);
        });
    }
    if (importWalk != nullptr) *importWalk = walk;

    CThunkReader counter(image), reader(image);
    size_t thunks = 0, names = 0;
    for (const ImportedModule& module : imports.modules) {
        thunks += counter.Count(module.lookup);
        names += module.nameSize;
    }
    imports.functions.reserve(thunks);
    // A first guess at the functions' names: they rarely outgrow it.
    imports.text.reserve(names + std::min<uint64_t>(thunks * kTypicalFunctionName, fileSize));
    for (ImportedModule& module : imports.modules) {
        const char* name = reinterpret_cast<const char*>(view) + module.nameAt;
        module.nameAt = static_cast<uint32_t>(imports.text.size());
        imports.text.append(name, module.nameSize);
        module.firstFunction = static_cast<uint32_t>(imports.functions.size());
        module.functionCount =
            reader.Read(module.lookup, module.vaBased ? image.ImageBase() : 0, imports);
    }
    return imports;
}

}  // namespace kivrel
