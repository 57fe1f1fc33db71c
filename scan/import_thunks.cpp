#include "import_thunks.h"

#include "byte_reader.h"
#include "export_table.h"
#include "import_walk.h"
#include "mapped_image.h"

namespace kivrel {

namespace {
constexpr uint32_t kOriginalFirstThunk = 0, kFirstThunk = 16;  // import descriptor
constexpr uint32_t kDelayNameTable = 16, kDelayRvaBased = 1;   // delay-load descriptor

// Reads the thunk list at `rva` into `functions`. Well-formed lists do not
// share thunks or names, so the budgets (thunks and name bytes still to read,
// both from the file's size) stop only the lists of a hostile table.
class CThunkReader {
public:
    explicit CThunkReader(const CMappedImage& image)
        : m_image(image),
          m_nThunkSize(image.IsPe32Plus() ? 8 : 4),
          m_nThunkBudget(image.FileSize() / m_nThunkSize),
          m_nNameBudget(image.FileSize()) {}

    // `vaBase` is subtracted from hint/name addresses (the older delay-load
    // layout holds virtual addresses there); 0 for RVAs.
    void Read(uint32_t rva, uint64_t vaBase, ImportedModule& module) {
        const ByteReader& bytes = m_image.Bytes();
        const uint32_t first = rva == 0 ? kNoFileOffset : m_image.RvaToFileOffset(rva);
        if (first == kNoFileOffset) return;
        const uint64_t ordinalFlag = m_nThunkSize == 8 ? 1ull << 63 : 1ull << 31;
        for (uint64_t at = first; m_nThunkBudget > 0 && bytes.Fits(at, m_nThunkSize);
             at += m_nThunkSize) {
            --m_nThunkBudget;
            uint32_t low = 0, high = 0;
            bytes.ReadU32(at, low);
            if (m_nThunkSize == 8) bytes.ReadU32(at + 4, high);
            const uint64_t value = uint64_t(high) << 32 | low;
            if (value == 0) return;
            ImportedFunction function;
            function.byOrdinal = (value & ordinalFlag) != 0;
            if (function.byOrdinal) {
                function.hint = static_cast<uint16_t>(value);
            } else if (value < vaBase || value - vaBase > 0x7FFFFFFF ||
                       !ReadHintName(static_cast<uint32_t>(value - vaBase), function, module)) {
                continue;  // a hint/name RVA has 31 bits and lies in the file
            }
            module.functions.push_back(function);
        }
    }

private:
    bool ReadHintName(uint32_t rva, ImportedFunction& function, ImportedModule& module) {
        const uint32_t offset = m_image.RvaToFileOffset(rva);
        std::string_view name;
        if (!m_image.Bytes().ReadU16(offset, function.hint) ||
            ReadBudgetedName(m_image.Bytes(), offset + 2, kMaxFunctionName + 1, m_nNameBudget,
                             name) != NAME_READ) {
            return false;
        }
        function.nameAt = static_cast<uint32_t>(module.names.size());
        function.nameSize = static_cast<uint32_t>(name.size());
        module.names.append(name);
        return true;
    }

    const CMappedImage& m_image;
    const uint32_t m_nThunkSize;
    uint64_t m_nThunkBudget, m_nNameBudget;
};
}  // namespace

std::vector<ImportedModule> ReadImportedFunctions(const CMappedImage& image, bool delayLoad) {
    std::vector<ImportedModule> modules;
    if (image.PeHeaders() == nullptr) return modules;
    CThunkReader reader(image);
    const ByteReader& bytes = image.Bytes();
    WalkImportDescriptors(image, [&](std::string_view name, uint64_t record) {
        uint32_t lookup = 0;
        bytes.ReadU32(record + kOriginalFirstThunk, lookup);
        if (lookup == 0) bytes.ReadU32(record + kFirstThunk, lookup);
        modules.push_back({std::string(name), false, {}, {}});
        reader.Read(lookup, 0, modules.back());
    });
    if (delayLoad) {
        WalkDelayLoadDescriptors(image, [&](std::string_view name, uint64_t record) {
            uint32_t lookup = 0, attributes = 0;
            if (!DelayLoadFieldRva(image, record, kDelayNameTable, lookup)) lookup = 0;
            bytes.ReadU32(record, attributes);
            const uint64_t vaBase = (attributes & kDelayRvaBased) != 0 ? 0 : image.ImageBase();
            modules.push_back({std::string(name), true, {}, {}});
            reader.Read(lookup, vaBase, modules.back());
        });
    }
    return modules;
}

}  // namespace kivrel
