// Fuzz target for the export table: the bytes as an image, every name and
// ordinal of its table looked up, every forwarder text parsed.
#include "export_table.h"
#include "fuzz_check.h"
#include "mapped_image.h"
#include "text.h"

using namespace kivrel;
using fuzz::Require;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const CMappedImage image(data, fuzz::Size32(size));
    const CExportTable table = CExportTable::Read(image);
    Require(table.FunctionCount() <= size / 4 && table.NameCount() <= size / 4,
            "no more entries than the file holds");
    auto check = [&](const ExportMatch& match) {
        Require(match.found == (match.reason == nullptr), "a reason exactly when not found");
        Require(!match.found || match.index < table.FunctionCount(), "found inside the table");
        Forwarder forwarder;
        if (!match.forwarder.empty() && ParseForwarder(match.forwarder, forwarder))
            Require(FitsPathBuffer(forwarder.module) && !forwarder.module.empty() &&
                        (forwarder.name.empty() != (forwarder.ordinal == 0)),
                    "a forwarder names a module and a name or an ordinal");
    };
    for (size_t i = 0; i < table.NameCount(); ++i) {
        const std::string_view name = table.NameAt(i);
        Require(name.size() <= kMaxFunctionName, "a name within its limit");
        check(table.FindName(name, static_cast<uint16_t>(i)));
        check(table.FindName(name, 0xFFFF));
    }
    for (uint32_t k = 0; k <= table.FunctionCount() + 1 && k < 4096; ++k)
        check(table.FindOrdinal(table.Base() + k));
    check(table.FindOrdinal(0));
    return 0;
}
