// The one-line text form of a font record, as kept in the settings: twelve
// numbers and the face name in double quotes,
//   -13 0 0 0 700 0 0 0 0 3 1 34 "MS Sans Serif"
// Platform-neutral, so that native tests and the fuzz target cover it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace kivrel {

// The fields of the platform's LOGFONTA, in its order and with its names.
struct FontRecord {
    int32_t lfHeight = 0;
    int32_t lfWidth = 0;
    int32_t lfEscapement = 0;
    int32_t lfOrientation = 0;
    int32_t lfWeight = 0;
    uint8_t lfItalic = 0;
    uint8_t lfUnderline = 0;
    uint8_t lfStrikeOut = 0;
    uint8_t lfCharSet = 0;
    uint8_t lfOutPrecision = 0;
    uint8_t lfClipPrecision = 0;  // not part of the text
    uint8_t lfQuality = 0;
    uint8_t lfPitchAndFamily = 0;
    char lfFaceName[32] = {};
};

bool operator==(const FontRecord& a, const FontRecord& b);

// The longest text the writer produces.
constexpr size_t kFontTextMax = 121;

// Reads a font text. Malformed text reads as far as it can, the rest 0 and
// an empty face name. Refused (false): a height or width beyond +-1000, a
// weight outside 0..1000 or a nonzero escapement, which no font the user can
// choose has and which would make the text unreadable.
bool ParseFontText(std::string_view text, FontRecord& record);

// The text of a record; the face name ends at its 31st character.
std::string FormatFontText(const FontRecord& record);

}  // namespace kivrel
