#include "font_text.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <limits>

namespace kivrel {
namespace {

// A settings value is untrusted: these are the sizes any screen font has.
constexpr int32_t kMaxExtent = 1000;
constexpr int32_t kMaxWeight = 1000;
// Characters taken for one number, sign and base prefix included.
constexpr size_t kNumberWidth = 15;
constexpr size_t kFaceMax = sizeof(FontRecord::lfFaceName) - 1;

class CReader {
public:
    explicit CReader(std::string_view text) : m_text(text) {}

    // An integer in the manner of strtol with base 0, at most kNumberWidth
    // characters, clamped to the 32-bit range. False when no digit is there.
    bool ReadNumber(int32_t& value) {
        while (m_pos < m_text.size() && IsSpace(m_text[m_pos])) ++m_pos;
        const size_t end = m_pos + std::min(kNumberWidth, m_text.size() - m_pos);
        size_t pos = m_pos;
        bool negative = false;
        if (pos < end && (m_text[pos] == '+' || m_text[pos] == '-'))
            negative = m_text[pos++] == '-';
        unsigned base = 10;
        if (pos < end && m_text[pos] == '0') {
            base = 8;
            if (pos + 2 < end && (m_text[pos + 1] == 'x' || m_text[pos + 1] == 'X') &&
                Digit(m_text[pos + 2], 16) >= 0) {
                base = 16;
                pos += 2;
            }
        }
        // Magnitudes beyond the limit only need to stay beyond it.
        constexpr int64_t kCap = int64_t{1} << 32;
        int64_t magnitude = 0;
        const size_t first = pos;
        for (; pos < end; ++pos) {
            const int digit = Digit(m_text[pos], base);
            if (digit < 0) break;
            magnitude = std::min(kCap, magnitude * base + digit);
        }
        if (pos == first) return false;
        m_pos = pos;
        const int64_t signedValue = negative ? -magnitude : magnitude;
        value = static_cast<int32_t>(std::clamp<int64_t>(
            signedValue, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
        return true;
    }

    // Up to `max` characters before the next double quote, and the quote.
    // False when the quote is not there to be consumed.
    bool ReadQuoted(size_t max, std::string_view& taken) {
        const size_t start = m_pos;
        while (m_pos < m_text.size() && m_pos - start < max && m_text[m_pos] != '"') ++m_pos;
        taken = m_text.substr(start, m_pos - start);
        if (m_pos >= m_text.size() || m_text[m_pos] != '"') return false;
        ++m_pos;
        return true;
    }

private:
    static bool IsSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
    static int Digit(char c, unsigned base) {
        int digit = -1;
        if (c >= '0' && c <= '9') digit = c - '0';
        if (c >= 'a' && c <= 'z') digit = c - 'a' + 10;
        if (c >= 'A' && c <= 'Z') digit = c - 'A' + 10;
        return digit >= 0 && static_cast<unsigned>(digit) < base ? digit : -1;
    }

    std::string_view m_text;
    size_t m_pos = 0;
};

}  // namespace

bool operator==(const FontRecord& a, const FontRecord& b) {
    return a.lfHeight == b.lfHeight && a.lfWidth == b.lfWidth && a.lfEscapement == b.lfEscapement &&
           a.lfOrientation == b.lfOrientation && a.lfWeight == b.lfWeight &&
           a.lfItalic == b.lfItalic && a.lfUnderline == b.lfUnderline &&
           a.lfStrikeOut == b.lfStrikeOut && a.lfCharSet == b.lfCharSet &&
           a.lfOutPrecision == b.lfOutPrecision && a.lfClipPrecision == b.lfClipPrecision &&
           a.lfQuality == b.lfQuality && a.lfPitchAndFamily == b.lfPitchAndFamily &&
           std::strncmp(a.lfFaceName, b.lfFaceName, sizeof(a.lfFaceName)) == 0;
}

bool ParseFontText(std::string_view text, FontRecord& record) {
    FontRecord read;
    int32_t* const wide[] = {&read.lfHeight, &read.lfWidth, &read.lfEscapement, &read.lfOrientation,
                             &read.lfWeight};
    uint8_t* const narrow[] = {&read.lfItalic,        &read.lfUnderline,    &read.lfStrikeOut,
                               &read.lfCharSet,       &read.lfOutPrecision, &read.lfQuality,
                               &read.lfPitchAndFamily};
    CReader reader(text);
    bool complete = true;
    for (int32_t* field : wide) {
        if (!(complete = reader.ReadNumber(*field))) break;
    }
    for (size_t i = 0; complete && i < std::size(narrow); ++i) {
        int32_t value = 0;
        if (!(complete = reader.ReadNumber(value))) break;
        *narrow[i] = static_cast<uint8_t>(static_cast<uint32_t>(value) & 0xFF);
    }
    std::string_view taken;
    // What comes before the opening quote is skipped; the name runs to the
    // closing quote or the end.
    if (complete && reader.ReadQuoted(kFaceMax, taken)) {
        reader.ReadQuoted(kFaceMax, taken);
        taken.copy(read.lfFaceName, taken.size());
    }

    const auto within = [](int32_t value, int32_t low, int32_t high) {
        return value >= low && value <= high;
    };
    if (!within(read.lfHeight, -kMaxExtent, kMaxExtent) ||
        !within(read.lfWidth, -kMaxExtent, kMaxExtent) || !within(read.lfWeight, 0, kMaxWeight) ||
        read.lfEscapement != 0) {
        return false;
    }
    record = read;
    return true;
}

std::string FormatFontText(const FontRecord& record) {
    char text[256];
    const int length =
        std::snprintf(text, sizeof(text), "%d %d %d %d %d %d %d %d %d %d %d %d \"%.31s\"",
                      static_cast<int>(record.lfHeight), static_cast<int>(record.lfWidth),
                      static_cast<int>(record.lfEscapement), static_cast<int>(record.lfOrientation),
                      static_cast<int>(record.lfWeight), record.lfItalic, record.lfUnderline,
                      record.lfStrikeOut, record.lfCharSet, record.lfOutPrecision, record.lfQuality,
                      record.lfPitchAndFamily, record.lfFaceName);
    if (length < 0) return std::string();
    return std::string(text, std::min(static_cast<size_t>(length), sizeof(text) - 1));
}

}  // namespace kivrel
