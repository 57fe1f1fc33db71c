// Fuzz target for the drag-and-drop byte formats: the bytes as a file list, a
// line record and dropped text.
#include <algorithm>
#include <string>
#include <vector>

#include "bounded_text.h"
#include "file_list.h"
#include "fuzz_check.h"
#include "line_record.h"

using namespace kivrel;
using kivrel::fuzz::Require;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    auto narrowNames = [](const uint8_t* block, const FileListLayout& layout) {
        std::vector<std::string> names;
        for (const auto& name : layout.names) names.push_back(NarrowFileName(block, name));
        return names;
    };
    if (const auto layout = ParseFileList(data, size)) {
        const size_t unit = layout->bWide ? 2 : 1;
        for (const auto& name : layout->names) {
            Require(name.length > 0, "no empty name");
            Require(name.offset >= kFileListHeaderSize &&
                        name.offset + (name.length + 1) * unit <= size,
                    "name and terminator inside the block");
            fuzz::Touch(data + name.offset + name.length * unit);
            if (layout->bWide) WideFileName(data, name);
        }
        if (!layout->bWide && !layout->names.empty()) {
            const std::vector<std::string> names = narrowNames(data, *layout);
            const std::vector<uint8_t> rebuilt = BuildFileList(names);
            const auto again = ParseFileList(rebuilt.data(), rebuilt.size());
            Require(again && narrowNames(rebuilt.data(), *again) == names,
                    "a rebuilt list keeps its names");
        }
    }

    if (const auto fields = ReadLineRecord(data, size)) {
        Require(fields->text.size() <= 127 && fields->group.size() <= 15, "record texts bounded");
        const LineRecord record = MakeLineRecord(*fields, CLeadBytes());
        const auto again = ReadLineRecord(&record, sizeof(record));
        Require(again && again->text == fields->text && again->group == fields->group,
                "a record read back keeps its texts");
    }

    // The first byte chooses the limit and the piece size.
    if (size == 0) return 0;
    const size_t limit = data[0] % 64, piece = data[0] / 64 + 1;
    CBoundedText text(limit, (data[0] & 1) != 0);
    for (size_t at = 1; at < size && text.Append(data + at, std::min(piece, size - at));
         at += piece) {
    }
    Require(text.Text().size() <= limit, "text within its limit");
    Require(text.Text().find('\0') == std::string::npos, "no zero inside the text");
    return 0;
}
