// Bounds-checked little-endian reads from an untrusted byte range. Every read
// of file data in the core goes through these; offsets are widened to 64 bits
// before adding so that no sum can wrap around.
#pragma once

#include <cstdint>
#include <cstring>

namespace kivrel {

class ByteReader {
public:
    ByteReader(const uint8_t* data, uint32_t size) : m_pData(data), m_nSize(size) {}

    // True when [offset, offset + length) lies within the range.
    bool Fits(uint64_t offset, uint64_t length) const {
        return m_pData != nullptr && offset <= m_nSize && length <= m_nSize - offset;
    }

    bool ReadU16(uint64_t offset, uint16_t& value) const {
        if (!Fits(offset, 2)) return false;
        const uint8_t* p = m_pData + offset;
        value = static_cast<uint16_t>(p[0] | (p[1] << 8));
        return true;
    }

    bool ReadU32(uint64_t offset, uint32_t& value) const {
        if (!Fits(offset, 4)) return false;
        value = LoadU32(m_pData + offset);
        return true;
    }

    // The little-endian value at `p`, for a loop that has checked its whole
    // range with Fits once.
    static uint32_t LoadU32(const uint8_t* p) {
        return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
               (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
    }

    const uint8_t* Data() const { return m_pData; }
    uint32_t Size() const { return m_nSize; }

private:
    const uint8_t* m_pData;
    uint32_t m_nSize;
};

}  // namespace kivrel
