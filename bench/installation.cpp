#include "installation.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>

#include "pe_writer.h"
#include "text.h"

namespace kivrel::bench {

namespace fs = std::filesystem;

namespace {

// splitmix64: the same installation from the same seed on every platform,
// which the distributions of <random> do not promise.
class Random {
public:
    explicit Random(uint64_t seed) : m_state(seed) {}
    uint64_t Next() {
        uint64_t z = (m_state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    size_t Below(size_t bound) { return bound == 0 ? 0 : static_cast<size_t>(Next() % bound); }
    bool Chance(double share) { return static_cast<double>(Next() >> 11) * 0x1.0p-53 < share; }

private:
    uint64_t m_state;
};

const char* const kWords[] = {
    "core",  "gfx",   "net",   "ui",   "media", "crypt",           "sql",    "xml",
    "audio", "print", "shell", "font", "video", "codec",           "plugin", "qt",
    "gtk",   "boost", "icu",   "ssl",  "zlib",  "api-ms-win-core", "msvc",   "runtime"};

std::string Base36(size_t value) {
    std::string digits;
    do {
        digits.insert(digits.begin(), "0123456789abcdefghijklmnopqrstuvwxyz"[value % 36]);
        value /= 36;
    } while (value != 0);
    return digits;
}

// Windows installations mix every letter case; resolvers must not care.
std::string Styled(const std::string& name, Random& random) {
    std::string styled = name;
    switch (random.Below(4)) {
        case 0:
            break;
        case 1:
            for (char& c : styled)
                c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
            break;
        case 2: {
            bool wordStart = true;
            for (char& c : styled) {
                if (wordStart) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
                wordStart = !std::isalpha(static_cast<unsigned char>(c));
            }
            break;
        }
        default:
            for (char& c : styled) {
                if (random.Chance(0.5))
                    c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
            }
    }
    return styled;
}

struct Module {
    std::string name;  // lower case, with ".dll"
    size_t directory = 0;
    std::vector<size_t> imports;            // indexes of modules
    std::vector<std::string> otherImports;  // missing or non-PE names
    // Export table entries ("Name" or "Name=MODULE.Other"), sorted by name;
    // the forwarders' targets are plain exports of modules found anyway.
    std::vector<std::string> exports;
};

// A function name of module `m`: its stem and a number, '-' made '_' as in
// C identifiers (pefile takes no other name for a function).
std::string FunctionName(const Module& m, size_t k) {
    std::string stem = m.name.substr(0, m.name.size() - 4);
    std::replace(stem.begin(), stem.end(), '-', '_');
    return stem + "_fn" + Base36(k);
}

bool WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes, size_t& count) {
    ++count;
    return test::WriteFileBytes(path, bytes);
}

std::vector<uint8_t> TextBytes(const std::string& text) { return {text.begin(), text.end()}; }

}  // namespace

bool GenerateInstallation(const InstallationParams& params, const std::string& root,
                          Installation& installation, std::string& error) {
    if (params.directories < 3 || params.modules == 0) {
        error = "an installation needs at least one module and three directories";
        return false;
    }
    std::error_code fsError;
    if (fs::exists(root, fsError) && !fs::is_empty(root, fsError)) {
        error = root + " exists and is not empty";
        return false;
    }
    Random random(params.seed);
    installation = Installation{};
    installation.root = fs::absolute(root).lexically_normal().string();
    if (installation.root.back() != '/') installation.root += '/';

    for (size_t d = 0; d < params.directories; ++d) {
        const std::string name =
            d == 0 ? "app" : "dir" + std::string(d < 10 ? "0" : "") + std::to_string(d);
        installation.directories.push_back(installation.root + name + "/");
        fs::create_directories(installation.directories.back(), fsError);
        if (fsError) {
            error = "cannot create " + installation.directories.back() + ": " + fsError.message();
            return false;
        }
    }
    const auto& dirs = installation.directories;
    const size_t dirCount = dirs.size();

    // Names and places. Module j > 0 gets a parent below it (or the EXE), so
    // every module is reachable and the graph has no cycle.
    std::vector<Module> modules(params.modules);
    std::vector<size_t> exeImports;
    for (size_t i = 0; i < modules.size(); ++i) {
        Module& m = modules[i];
        m.name = kWords[random.Below(std::size(kWords))];
        if (random.Chance(0.4))
            m.name += std::string("-") + kWords[random.Below(std::size(kWords))];
        m.name += "_" + Base36(i) + ".dll";
        m.directory = random.Below(dirCount);
        const size_t parent = random.Below(i + 1);  // i means the EXE
        if (parent == i)
            exeImports.push_back(i);
        else
            modules[parent].imports.push_back(i);
    }
    // Extra edges downwards, and a few hubs that most modules import, as the
    // runtime and system DLLs are.
    const size_t hubCount = std::min<size_t>(10, modules.size() / 10);
    for (size_t i = 0; i < modules.size(); ++i) {
        const size_t later = modules.size() - i - 1;
        for (size_t k = random.Below(7); k > 0 && later > 0; --k) {
            modules[i].imports.push_back(i + 1 + random.Below(later));
        }
        if (hubCount > 0 && i + hubCount < modules.size()) {
            for (int k = 0; k < 2; ++k) {
                modules[i].imports.push_back(modules.size() - hubCount + random.Below(hubCount));
            }
        }
    }
    // Names nobody provides, and names provided only by files that are not PE images.
    const size_t missingCount = std::max<size_t>(2, modules.size() / 500);
    const size_t brokenCount = std::max<size_t>(1, modules.size() / 1000);
    std::vector<std::string> unresolved;
    for (size_t k = 0; k < missingCount + brokenCount; ++k) {
        const bool broken = k >= missingCount;
        const std::string name =
            std::string(broken ? "broken" : "missing") + "_" + Base36(k) + ".dll";
        unresolved.push_back(name);
        for (size_t n = 1 + random.Below(3); n > 0; --n) {
            modules[random.Below(modules.size())].otherImports.push_back(name);
        }
        if (broken) {
            const std::string path = dirs[random.Below(dirCount)] + Styled(name, random);
            if (!WriteBytes(path, TextBytes("not a module\n"), installation.filesWritten)) {
                error = "cannot write " + path;
                return false;
            }
        }
    }

    // The function level draws from a random sequence of its own, so that the
    // modules and files are the same as without it. Every module exports a
    // few functions, some forwarded to a plain export of another module.
    Random functions(params.seed ^ 0x66756E6374696F6Eull);
    for (Module& m : modules) {
        const size_t count = 4 + functions.Below(12);
        for (size_t k = 0; k < count; ++k) m.exports.push_back(FunctionName(m, k));
        std::sort(m.exports.begin(), m.exports.end());
    }
    // Forwarders first chosen, then pointed at exports that are not: no chain
    // is longer than one link.
    std::vector<std::vector<bool>> forwards(modules.size());
    for (size_t i = 0; i < modules.size(); ++i) {
        for (size_t k = 0; k < modules[i].exports.size(); ++k)
            forwards[i].push_back(modules.size() > 1 && functions.Chance(0.1));
    }
    for (size_t i = 0; i < modules.size(); ++i) {
        for (size_t k = 0; k < modules[i].exports.size(); ++k) {
            if (!forwards[i][k]) continue;
            size_t t = functions.Below(modules.size() - 1);
            t += t >= i ? 1 : 0;
            const size_t j = functions.Below(modules[t].exports.size());
            if (forwards[t][j]) continue;  // left a plain export
            const std::string& target = modules[t].name;
            modules[i].exports[k] +=
                "=" + target.substr(0, target.size() - 4) + "." + modules[t].exports[j];
        }
    }
    // What an import of module `target` names: a few of its exports, by name
    // (the hint right or 0) or now and then by ordinal; rarely one it lacks,
    // which the function check must report.
    auto importFunctions = [&](const std::string& importer, const std::string& text,
                               size_t target) {
        const Module& m = modules[target];
        std::vector<std::string> list;
        for (size_t n = 1 + functions.Below(4); n > 0; --n) {
            const size_t k = functions.Below(m.exports.size());
            const std::string name = m.exports[k].substr(0, m.exports[k].find('='));
            if (functions.Chance(0.002)) {
                list.push_back(name + "_gone");
                installation.expectedMissingFunctions.push_back(importer + " -> " + text + "!" +
                                                                list.back());
            } else if (functions.Chance(0.1)) {
                list.push_back("#" + std::to_string(k + 1));
            } else {
                list.push_back(name + "/" + std::to_string(functions.Chance(0.5) ? k : 0));
            }
        }
        return list;
    };

    auto importText = [&](size_t target) {
        std::string text = Styled(modules[target].name, random);
        if (random.Chance(params.extensionlessShare)) text.resize(text.size() - 4);
        return text;
    };
    auto buildImage = [&](const std::string& fileName, const std::vector<size_t>& imports,
                          const std::vector<std::string>& others, const Module* exporter) {
        test::PeBuilder builder;
        builder.Pe32Plus();
        if (exporter != nullptr) builder.Dll().Exports(exporter->exports);
        std::set<size_t> seen;
        for (size_t target : imports) {
            if (!seen.insert(target).second) continue;
            const std::string text = importText(target);
            builder.Import(text, importFunctions(fileName, text, target));
        }
        for (const std::string& name : others) builder.Import(Styled(name, random), {"Lost"});
        if (params.moduleBytes > 0) {
            test::SectionLayout padding;
            padding.name = ".rdata";
            padding.virtualAddress = 0x100000;
            padding.virtualSize = padding.sizeOfRawData = static_cast<uint32_t>(params.moduleBytes);
            padding.pointerToRawData = 0x10000;
            padding.data.assign(params.moduleBytes, 0xCC);
            builder.Section(std::move(padding));
        }
        return builder.Build();
    };

    installation.module = dirs[0] + "App.exe";
    if (!WriteBytes(installation.module, buildImage("App.exe", exeImports, {}, nullptr),
                    installation.filesWritten)) {
        error = "cannot write " + installation.module;
        return false;
    }
    for (const Module& m : modules) {
        const std::string diskName = Styled(m.name, random);
        const std::vector<uint8_t> image = buildImage(diskName, m.imports, m.otherImports, &m);
        if (!WriteBytes(dirs[m.directory] + diskName, image, installation.filesWritten)) {
            error = "cannot write " + dirs[m.directory] + diskName;
            return false;
        }
        installation.expectedFound.push_back(dirs[m.directory] + diskName);
        // A copy further down the search order must never be reported, and a
        // non-PE file of the same name earlier on must not stop the search.
        if (m.directory + 1 < dirCount && random.Chance(0.01)) {
            const size_t later = m.directory + 1 + random.Below(dirCount - m.directory - 1);
            WriteBytes(dirs[later] + Styled(m.name, random), image, installation.filesWritten);
        }
        if (m.directory > 0 && random.Chance(0.005)) {
            const size_t earlier = random.Below(m.directory);
            const bool dosStub = random.Chance(0.5);
            WriteBytes(dirs[earlier] + Styled(m.name, random),
                       dosStub ? test::DosStub(128, 0, 0) : TextBytes("decoy\n"),
                       installation.filesWritten);
        }
    }

    // Unrelated files fill the directories up to the requested count.
    const char* const kKinds[] = {"res_%s.dat",  "Unused_%s.DLL", "readme_%s.txt",
                                  "icon_%s.png", "locale_%s.mo",  "Helper_%s.exe"};
    for (size_t n = 0; installation.filesWritten < params.files; ++n) {
        char name[64];
        std::snprintf(name, sizeof name, kKinds[random.Below(std::size(kKinds))],
                      Base36(n).c_str());
        const std::string path = dirs[random.Below(dirCount)] + name;
        if (!WriteBytes(path, {}, installation.filesWritten)) {
            error = "cannot write " + path;
            return false;
        }
    }

    installation.systemDirectory = dirs[1].substr(0, dirs[1].size() - 1);
    installation.windowsDirectory = dirs[2].substr(0, dirs[2].size() - 1);
    for (size_t d = 3; d < dirCount; ++d) {
        if (!installation.pathList.empty()) installation.pathList += ';';
        installation.pathList += dirs[d].substr(0, dirs[d].size() - 1);
    }
    installation.expectedUnresolved = unresolved;
    installation.modules = modules.size();
    return true;
}

bool GenerateCorpusInstallation(const std::vector<std::string>& corpus, const std::string& root,
                                Installation& installation, std::string& error) {
    if (corpus.empty() || corpus.size() > 2) {
        error = "a corpus installation takes one or two directories";
        return false;
    }
    installation = Installation{};
    installation.root = fs::absolute(root).lexically_normal().string();
    if (installation.root.back() != '/') installation.root += '/';
    installation.directories.push_back(installation.root + "app/");
    std::error_code fsError;
    fs::create_directories(installation.directories.back(), fsError);

    std::vector<std::string> dlls;
    for (size_t d = 0; d < corpus.size(); ++d) {
        const std::string directory = fs::absolute(corpus[d]).lexically_normal().string();
        installation.directories.push_back(directory.back() == '/' ? directory : directory + "/");
        for (const auto& entry : fs::directory_iterator(directory, fsError)) {
            ++installation.filesWritten;  // counted as the installation's files
            const std::string name = entry.path().filename().string();
            if (d == 0 && name.size() > 4 && ToLowerAscii(name.substr(name.size() - 4)) == ".dll") {
                dlls.push_back(name);
            }
        }
    }
    if (fsError || dlls.empty()) {
        error = "cannot read the DLLs of " + corpus[0];
        return false;
    }
    std::sort(dlls.begin(), dlls.end());
    test::PeBuilder builder;
    builder.Pe32Plus();
    for (const std::string& name : dlls) builder.Import(name);
    installation.module = installation.directories[0] + "App.exe";
    if (!test::WriteFileBytes(installation.module, builder.Build())) {
        error = "cannot write " + installation.module;
        return false;
    }
    ++installation.filesWritten;
    installation.modules = dlls.size();
    installation.systemDirectory =
        installation.directories[1].substr(0, installation.directories[1].size() - 1);
    if (corpus.size() > 1) {
        installation.windowsDirectory =
            installation.directories[2].substr(0, installation.directories[2].size() - 1);
    }
    return true;
}

bool WriteManifest(const InstallationParams& params, const Installation& installation,
                   const std::string& path) {
    std::ofstream out(path);
    out << "# kivrel benchmark installation\n"
        << "modules=" << installation.modules << "\ndirectories=" << installation.directories.size()
        << "\nfiles=" << installation.filesWritten << "\nseed=" << params.seed
        << "\nmodule=" << installation.module << "\nsystem-dir=" << installation.systemDirectory
        << "\nwindows-dir=" << installation.windowsDirectory << "\npath=" << installation.pathList
        << '\n';
    for (const std::string& found : installation.expectedFound)
        out << "expect-found=" << found << '\n';
    for (const std::string& name : installation.expectedUnresolved)
        out << "expect-unresolved=" << name << '\n';
    for (const std::string& line : installation.expectedMissingFunctions)
        out << "expect-missing-function=" << line << '\n';
    out.close();
    return static_cast<bool>(out);
}

}  // namespace kivrel::bench
