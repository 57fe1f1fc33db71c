// Fuzz target for the drag-and-drop byte formats: arbitrary bytes as a file
// list, a line record and dropped text. Every name must lie inside the block,
// a rebuilt narrow list must parse to the same names, and text stays bounded.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "bounded_text.h"
#include "file_list.h"
#include "fuzz_check.h"
#include "line_record.h"

using kivrel::fuzz::Require;
using kivrel::fuzz::Touch;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (const auto layout = kivrel::ParseFileList(data, size)) {
        const size_t unit = layout->bWide ? 2 : 1;
        std::vector<std::string> names;
        for (const auto& name : layout->names) {
            Require(name.length > 0, "no empty name");
            Require(name.offset >= kivrel::kFileListHeaderSize &&
                        name.offset + (name.length + 1) * unit <= size,
                    "name and terminator inside the block");
            Touch(data + name.offset + name.length * unit);
            if (layout->bWide) {
                kivrel::WideFileName(data, name);
            } else {
                names.push_back(kivrel::NarrowFileName(data, name));
            }
        }
        if (!layout->bWide && !names.empty()) {
            const std::vector<uint8_t> rebuilt = kivrel::BuildFileList(names);
            const auto again = kivrel::ParseFileList(rebuilt.data(), rebuilt.size());
            Require(again && again->names.size() == names.size(), "a rebuilt list parses");
            for (size_t i = 0; i < names.size(); ++i) {
                Require(kivrel::NarrowFileName(rebuilt.data(), again->names[i]) == names[i],
                        "a rebuilt list keeps its names");
            }
        }
    }

    if (const auto fields = kivrel::ReadLineRecord(data, size)) {
        Require(fields->text.size() <= 127 && fields->group.size() <= 15, "record texts bounded");
        const kivrel::LineRecord record = kivrel::MakeLineRecord(*fields, kivrel::CLeadBytes());
        const auto again = kivrel::ReadLineRecord(&record, sizeof(record));
        Require(again && again->text == fields->text && again->group == fields->group,
                "a record read back keeps its texts");
    }

    // The first byte chooses the limit and the piece size of a stream.
    if (size == 0) return 0;
    const size_t limit = data[0] % 64;
    const size_t piece = data[0] / 64 + 1;
    kivrel::CBoundedText text(limit, (data[0] & 1) != 0);
    for (size_t at = 1; at < size && text.Append(data + at, std::min(piece, size - at));
         at += piece) {
    }
    Require(text.Text().size() <= limit, "text within its limit");
    Require(text.Text().find('\0') == std::string::npos, "no zero inside the text");
    return 0;
}
