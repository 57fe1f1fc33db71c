// kivrel-bench-floor: the least work any resolver must do, as a yardstick.
// Each search directory is listed once, and only when needed, into one hash
// of folded names over all of them; each reachable module is mapped once;
// nothing else is kept.
//
//   kivrel-bench-floor MODULE DIR...    (DIRs in search order)
//
// Prints "found PATH" for every module found and "unresolved NAME" for every
// name that no directory holds as a PE image.
#include <dirent.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <deque>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace {

std::string Fold(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + ('a' - 'A'));
    }
    return text;
}

// A name without a '.' is looked up as "name." followed by any extension.
std::string Normalised(std::string name) {
    if (name.find('.') == std::string::npos) name += '.';
    return name;
}

// The names of every directory listed so far in one open-addressing hash, so
// that a name costs one look-up whatever the number of directories. Equal keys
// lie along one probe sequence in the order they were added, which is search
// order, since directories are listed in that order, and only when a name is
// not found in those listed already.
class NameIndex {
public:
    explicit NameIndex(std::vector<std::string> directories)
        : m_directories(std::move(directories)) {}

    size_t DirectoryCount() const { return m_directories.size(); }
    size_t ListedCount() const { return m_listings.size(); }
    const std::string& Directory(size_t d) const { return m_directories[d]; }

    void ListNext() {
        const uint32_t d = static_cast<uint32_t>(m_listings.size());
        std::string& text = m_listings.emplace_back();
        const size_t first = m_files.size();
        if (DIR* dir = opendir(m_directories[d].c_str())) {
            while (const dirent* entry = readdir(dir)) {
                const char* name = entry->d_name;
                if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) continue;
                const size_t length = std::strlen(name);
                m_files.push_back(
                    File{d, static_cast<uint32_t>(text.size()), static_cast<uint32_t>(length)});
                text += Fold(name);
                text.append(name, length);
            }
            closedir(dir);
        }
        for (size_t f = first; f < m_files.size(); ++f) AddKeys(static_cast<uint32_t>(f));
    }

    // Files named `folded` (or, for "stem.", beginning with it), in search
    // order; within a directory the caller sorts them.
    template <class Visit>
    void ForEach(std::string_view folded, Visit visit) const {
        const std::vector<Key>& table = (folded.back() == '.' ? m_byStem : m_byName).slots;
        if (table.empty()) return;
        for (size_t slot = Hash(folded) & (table.size() - 1); table[slot].file != kNone;
             slot = (slot + 1) & (table.size() - 1)) {
            if (table[slot].length == folded.size() &&
                Folded(table[slot].file).substr(0, folded.size()) == folded) {
                visit(m_files[table[slot].file].directory, Name(table[slot].file));
            }
        }
    }

private:
    struct File {
        uint32_t directory, offset, length;
    };
    struct Key {
        uint32_t file, length;  // the first `length` folded characters of the file's name
    };
    // A hash table with every key it ever held, in the order added.
    struct Table {
        std::vector<Key> slots;
        std::vector<std::pair<Key, size_t>> added;  // (key, hash)
    };
    static constexpr uint32_t kNone = UINT32_MAX;
    static size_t Hash(std::string_view key) { return std::hash<std::string_view>{}(key); }

    std::string_view Folded(uint32_t f) const {
        return {m_listings[m_files[f].directory].data() + m_files[f].offset, m_files[f].length};
    }
    std::string_view Name(uint32_t f) const {
        return {Folded(f).data() + m_files[f].length, m_files[f].length};
    }

    void AddKeys(uint32_t f) {
        const std::string_view folded = Folded(f);
        Insert(m_byName, Key{f, static_cast<uint32_t>(folded.size())}, Hash(folded));
        // A file "foo.bar.dll" answers "foo." and "foo.bar." (extension-less imports).
        for (size_t dot = folded.find('.'); dot != std::string_view::npos;
             dot = folded.find('.', dot + 1)) {
            Insert(m_byStem, Key{f, static_cast<uint32_t>(dot + 1)},
                   Hash(folded.substr(0, dot + 1)));
        }
    }
    static void Insert(Table& table, Key key, size_t hash) {
        table.added.emplace_back(key, hash);
        if (2 * table.added.size() > table.slots.size()) {
            // Re-placing in the order added keeps equal keys in search order.
            table.slots.assign(std::max<size_t>(64, 2 * table.slots.size()), Key{kNone, 0});
            for (const auto& [k, h] : table.added) Place(table.slots, k, h);
        } else {
            Place(table.slots, key, hash);
        }
    }
    static void Place(std::vector<Key>& slots, Key key, size_t hash) {
        size_t slot = hash & (slots.size() - 1);
        while (slots[slot].file != kNone) slot = (slot + 1) & (slots.size() - 1);
        slots[slot] = key;
    }

    std::vector<std::string> m_directories;
    std::deque<std::string> m_listings;  // per directory: folded and real names side by side
    std::vector<File> m_files;
    Table m_byName, m_byStem;
};

uint32_t U16(const uint8_t* p) { return p[0] | (p[1] << 8); }
uint32_t U32(const uint8_t* p) { return U16(p) | (U16(p + 2) << 16); }

// Appends the import names of the PE image at `path`; false when it is not one.
bool ReadImports(const std::string& path, std::vector<std::string>& names) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat info {};
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size < 64) {
        close(fd);
        return false;
    }
    const size_t size = static_cast<size_t>(info.st_size);
    void* view = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
    close(fd);
    if (view == MAP_FAILED) return false;
    const uint8_t* base = static_cast<const uint8_t*>(view);
    auto fits = [&](uint64_t offset, uint64_t length) {
        return offset <= size && length <= size - offset;
    };

    bool isPe = false;
    const uint64_t pe = U32(base + 60);
    if (U16(base) == 0x5A4D && U16(base + 24) >= 64 && fits(pe, 24) && U32(base + pe) == 0x4550) {
        isPe = true;
        const uint32_t sections = U16(base + pe + 6);
        const uint64_t table = pe + 24 + U16(base + pe + 20);
        const bool plus = fits(pe + 24, 2) && U16(base + pe + 24) == 0x20B;
        const uint64_t directory = pe + 24 + (plus ? 112 : 96) + 8;
        auto toOffset = [&](uint32_t rva) -> uint64_t {
            for (uint32_t i = 0; i < sections && fits(table + 40ull * i, 40); ++i) {
                const uint8_t* s = base + table + 40ull * i;
                const uint32_t extent = std::min(U32(s + 8), U32(s + 16));
                if (U32(s + 12) <= rva && rva < uint64_t(U32(s + 12)) + extent) {
                    return uint64_t(U32(s + 20)) + (rva - U32(s + 12));
                }
            }
            return UINT64_MAX;
        };
        if (fits(directory, 8) && U32(base + directory + 4) != 0 && U32(base + directory) != 0) {
            for (uint64_t at = toOffset(U32(base + directory)); fits(at, 20); at += 20) {
                const uint32_t nameRva = U32(base + at + 12);
                if (nameRva == 0) break;
                const uint64_t name = toOffset(nameRva);
                if (!fits(name, 1)) break;
                const char* text = reinterpret_cast<const char*>(base + name);
                const size_t length = strnlen(text, std::min<uint64_t>(size - name, 260));
                if (length == size - name) break;
                if (length < 260) names.emplace_back(text, length);
            }
        }
    }
    munmap(view, size);
    return isPe;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "Usage: kivrel-bench-floor MODULE DIR...\n");
        return 2;
    }
    std::vector<std::string> directories;
    for (int i = 2; i < argc; ++i) {
        directories.emplace_back(argv[i]);
        if (directories.back().back() != '/') directories.back() += '/';
    }
    NameIndex index(directories);
    std::vector<std::string> imports;
    if (!ReadImports(argv[1], imports)) {
        std::printf("unresolved %s\n", argv[1]);
        return 1;
    }
    std::unordered_set<std::string> seen;       // folded names taken up
    std::unordered_set<std::string> seenStems;  // their prefixes ending in '.'
    std::deque<std::string> queue;
    auto enqueue = [&](const std::string& name) {
        const std::string folded = Fold(Normalised(name));
        if (seen.count(folded) != 0 || (folded.back() == '.' && seenStems.count(folded) != 0))
            return;
        // "foo." and "foo.dll" stand for one module: whichever came first is kept.
        std::vector<std::string> stems;
        for (size_t dot = folded.find('.'); dot != std::string::npos;
             dot = folded.find('.', dot + 1)) {
            stems.push_back(folded.substr(0, dot + 1));
            if (stems.back() != folded && seen.count(stems.back()) != 0) return;
        }
        seen.insert(folded);
        seenStems.insert(stems.begin(), stems.end());
        queue.push_back(Normalised(name));
    };
    for (const std::string& name : imports) enqueue(name);

    std::string out;
    while (!queue.empty()) {
        const std::string name = queue.front();
        queue.pop_front();
        const std::string folded = Fold(name);
        bool found = false;
        // The directories listed so far that hold the name, then each further
        // directory as it is listed, until a PE image is found.
        std::vector<std::pair<uint32_t, std::string_view>> candidates;
        auto tryCandidates = [&](size_t fromDirectory) {
            std::sort(candidates.begin(), candidates.end());
            for (const auto& [d, file] : candidates) {
                if (d < fromDirectory) continue;
                imports.clear();
                const std::string path = index.Directory(d) + std::string(file);
                if (!ReadImports(path, imports)) continue;
                out += "found " + path + '\n';
                if (folded.back() == '.') seen.insert(Fold(std::string(file)));
                for (const std::string& import : imports) enqueue(import);
                return true;
            }
            return false;
        };
        index.ForEach(folded,
                      [&](uint32_t d, std::string_view file) { candidates.emplace_back(d, file); });
        found = tryCandidates(0);
        while (!found && index.ListedCount() < index.DirectoryCount()) {
            const size_t d = index.ListedCount();
            index.ListNext();
            candidates.clear();
            index.ForEach(folded, [&](uint32_t in, std::string_view file) {
                if (in == d) candidates.emplace_back(in, file);
            });
            found = tryCandidates(d);
        }
        if (!found) out += "unresolved " + name + '\n';
    }
    std::fwrite(out.data(), 1, out.size(), stdout);
    return 0;
}
