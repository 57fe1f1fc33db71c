#include "file_list.h"

#include <cstring>

namespace kivrel {

namespace {
void PutU32(uint8_t* at, uint32_t value) {
    for (int i = 0; i < 4; ++i) at[i] = static_cast<uint8_t>(value >> (8 * i));
}
uint32_t GetU32(const uint8_t* at) {
    return uint32_t(at[0]) | uint32_t(at[1]) << 8 | uint32_t(at[2]) << 16 | uint32_t(at[3]) << 24;
}
}  // namespace

std::vector<uint8_t> BuildFileList(const std::vector<std::string>& names) {
    size_t size = kFileListHeaderSize + 1;
    bool any = false;
    for (const std::string& name : names) {
        if (name.empty()) continue;
        size += name.size() + 1;
        any = true;
    }
    if (!any) return {};
    std::vector<uint8_t> block(size, 0);
    PutU32(block.data(), kFileListHeaderSize);
    size_t at = kFileListHeaderSize;
    for (const std::string& name : names) {
        if (name.empty()) continue;
        std::memcpy(block.data() + at, name.data(), name.size());
        at += name.size() + 1;
    }
    return block;
}

std::optional<FileListLayout> ParseFileList(const uint8_t* block, size_t size) {
    if (block == nullptr || size < kFileListHeaderSize) return std::nullopt;
    const uint32_t namesOffset = GetU32(block);
    if (namesOffset < kFileListHeaderSize || namesOffset >= size) return std::nullopt;
    FileListLayout layout;
    layout.bWide = GetU32(block + 16) != 0;
    const size_t unit = layout.bWide ? 2 : 1;
    const auto isZero = [&](size_t at) {
        return block[at] == 0 && (unit == 1 || block[at + 1] == 0);
    };
    // Each step moves forward by at least one unit, so the walk ends.
    size_t at = namesOffset;
    while (true) {
        size_t end = at;
        while (end + unit <= size && !isZero(end)) end += unit;
        if (end + unit > size) return std::nullopt;
        if (end == at) return layout;
        layout.names.push_back({at, (end - at) / unit});
        at = end + unit;
    }
}

std::string NarrowFileName(const uint8_t* block, const FileListLayout::Name& name) {
    return std::string(reinterpret_cast<const char*>(block + name.offset), name.length);
}

std::u16string WideFileName(const uint8_t* block, const FileListLayout::Name& name) {
    std::u16string text(name.length, u'\0');
    for (size_t i = 0; i < name.length; ++i) {
        const uint8_t* at = block + name.offset + 2 * i;
        text[i] = static_cast<char16_t>(at[0] | at[1] << 8);
    }
    return text;
}

}  // namespace kivrel
