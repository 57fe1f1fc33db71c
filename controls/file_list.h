// The shell's file list (clipboard format CF_HDROP): a 20-byte header (the
// offset of the names, a drop point, a non-client flag, a wide-character
// flag), then each name with its terminating zero, then one more zero. Lists
// from other programs are parsed here before any name is read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kivrel {

constexpr size_t kFileListHeaderSize = 20;

// A block of narrow names exactly as large as they need; empty names are
// left out. Empty when no name is left.
std::vector<uint8_t> BuildFileList(const std::vector<std::string>& names);

struct FileListLayout {
    bool bWide = false;
    // Byte offset and length in characters (bytes or 16-bit units) of each
    // name; every one lies inside the block with its terminator.
    struct Name {
        size_t offset;
        size_t length;
    };
    std::vector<Name> names;
};

// None unless the header lies inside the block, the names begin after it and
// inside the block, and every name and the closing empty name end inside it.
std::optional<FileListLayout> ParseFileList(const uint8_t* block, size_t size);

// One name of a parsed block, narrow or wide as the layout says.
std::string NarrowFileName(const uint8_t* block, const FileListLayout::Name& name);
std::u16string WideFileName(const uint8_t* block, const FileListLayout::Name& name);

}  // namespace kivrel
