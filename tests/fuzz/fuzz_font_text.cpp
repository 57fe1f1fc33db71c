// Fuzz target for the font text of the settings.
#include <cstring>
#include <string_view>

#include "font_text.h"
#include "fuzz_check.h"

using kivrel::fuzz::Require;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    kivrel::FontRecord record, reread;
    if (!kivrel::ParseFontText({reinterpret_cast<const char*>(data), size}, record)) return 0;
    Require(record.lfHeight >= -1000 && record.lfHeight <= 1000 && record.lfWidth >= -1000 &&
                record.lfWidth <= 1000 && record.lfWeight >= 0 && record.lfWeight <= 1000,
            "sizes within 1000, weight within 0..1000");
    Require(record.lfEscapement == 0, "no escapement");
    Require(std::memchr(record.lfFaceName, '\0', sizeof(record.lfFaceName)) != nullptr,
            "face name terminated");
    const std::string written = kivrel::FormatFontText(record);
    Require(written.size() <= kivrel::kFontTextMax, "written text within its maximum");
    Require(kivrel::ParseFontText(written, reread) && reread == record,
            "written text reads back the same record");
    return 0;
}
