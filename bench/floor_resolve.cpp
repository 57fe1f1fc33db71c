// kivrel-bench-floor: the least work any resolver must do, as a yardstick.
// Each search directory is listed once into a hash of folded names, each
// reachable module is mapped once, and nothing else is kept.
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

// One directory's names, read once: folded and real names side by side in one
// buffer, a hash from folded name to entry, and a chain for names that differ
// only in case.
struct Listing {
    bool listed = false;
    std::string text;  // per entry: folded name, real name
    std::vector<std::pair<uint32_t, uint32_t>> entries;  // (offset, length)
    std::vector<uint32_t> nextSameName;
    std::unordered_map<std::string_view, uint32_t> byFoldedName;

    std::string_view Folded(uint32_t i) const { return {text.data() + entries[i].first, entries[i].second}; }
    std::string Name(uint32_t i) const {
        return text.substr(entries[i].first + entries[i].second, entries[i].second);
    }
};

void List(const std::string& directory, Listing& listing) {
    listing.listed = true;
    DIR* dir = opendir(directory.c_str());
    if (dir == nullptr) return;
    while (const dirent* entry = readdir(dir)) {
        const char* name = entry->d_name;
        if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) continue;
        const size_t length = std::strlen(name);
        listing.entries.emplace_back(static_cast<uint32_t>(listing.text.size()), static_cast<uint32_t>(length));
        listing.text += Fold(name);
        listing.text.append(name, length);
    }
    closedir(dir);
    listing.nextSameName.assign(listing.entries.size(), UINT32_MAX);
    listing.byFoldedName.reserve(listing.entries.size());
    for (uint32_t i = 0; i < listing.entries.size(); ++i) {
        auto [at, added] = listing.byFoldedName.emplace(listing.Folded(i), i);
        if (!added) {
            listing.nextSameName[i] = at->second;
            at->second = i;
        }
    }
}

// Real names of the entries whose folded name is `folded`, or, for an
// extension-less name ending in '.', that begins with it.
std::vector<std::string> Candidates(const Listing& listing, const std::string& folded) {
    std::vector<std::string> names;
    if (folded.back() == '.') {
        for (uint32_t i = 0; i < listing.entries.size(); ++i) {
            if (listing.Folded(i).substr(0, folded.size()) == folded) names.push_back(listing.Name(i));
        }
    } else {
        const auto found = listing.byFoldedName.find(folded);
        if (found == listing.byFoldedName.end()) return names;
        for (uint32_t i = found->second; i != UINT32_MAX; i = listing.nextSameName[i]) {
            names.push_back(listing.Name(i));
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

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
    auto fits = [&](uint64_t offset, uint64_t length) { return offset <= size && length <= size - offset; };

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
    std::vector<Listing> listings(directories.size());

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
        if (seen.count(folded) != 0 || (folded.back() == '.' && seenStems.count(folded) != 0)) return;
        // "foo." and "foo.dll" stand for one module: whichever came first is kept.
        std::vector<std::string> stems;
        for (size_t dot = folded.find('.'); dot != std::string::npos; dot = folded.find('.', dot + 1)) {
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
        for (size_t d = 0; d < directories.size() && !found; ++d) {
            if (!listings[d].listed) List(directories[d], listings[d]);
            const std::vector<std::string> files = Candidates(listings[d], folded);
            for (const std::string& file : files) {
                imports.clear();
                if (!ReadImports(directories[d] + file, imports)) continue;
                out += "found " + directories[d] + file + '\n';
                if (folded.back() == '.') seen.insert(Fold(file));
                for (const std::string& import : imports) enqueue(import);
                found = true;
                break;
            }
        }
        if (!found) out += "unresolved " + name + '\n';
    }
    std::fwrite(out.data(), 1, out.size(), stdout);
    return 0;
}
