// Replays saved inputs through a fuzz target without libFuzzer: each argument
// is a file or a directory of them, all replayed in name order; no input fails.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <vector>

#include "fuzz_check.h"

namespace fs = std::filesystem;

int main(int argc, char** argv) {
    std::vector<fs::path> inputs;
    std::error_code error;  // a file given is no directory to list
    for (int i = 1; i < argc; ++i) {
        if (!fs::is_directory(argv[i])) inputs.emplace_back(argv[i]);  // missing: fails below
        for (const auto& entry : fs::directory_iterator(argv[i], fs::directory_options{}, error))
            if (entry.is_regular_file()) inputs.push_back(entry.path());
    }
    std::sort(inputs.begin(), inputs.end());
    for (const fs::path& path : inputs) {
        std::ifstream file(path, std::ios::binary);
        if (!file) return std::fprintf(stderr, "cannot read %s\n", path.string().c_str()), 1;
        const std::vector<char> bytes((std::istreambuf_iterator<char>(file)), {});
        // A buffer of exactly the input's size: a sanitizer then sees any read past it.
        const std::unique_ptr<uint8_t[]> data(new uint8_t[bytes.size()]);
        std::copy(bytes.begin(), bytes.end(), data.get());
        LLVMFuzzerTestOneInput(data.get(), bytes.size());
    }
    std::printf("replayed %zu inputs\n", inputs.size());
    return inputs.empty();
}
