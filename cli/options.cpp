#include "options.h"

#include "loader_setup.h"

namespace kivrel::cli {

namespace {
// The loader options, each a flag; --loader turns on all of them.
bool* LoaderFlag(const std::string& arg, Options& options, bool& all) {
    LoaderOptions& loader = options.loader;
    if (arg == "--api-sets") return &loader.apiSets;
    if (arg == "--delay-load") return &loader.delayLoad;
    if (arg == "--match-machine") return &loader.matchMachine;
    if (arg == "--module-dir") return &loader.moduleDir;
    if (arg == "--functions") return &loader.functions;
    if (arg == "--known-dlls") return &loader.knownDlls;
    if (arg == "--wow64") return &options.folders.wow64;
    if (arg == "--dot-local") return &loader.dotLocal;
    if (arg == "--assemblies") return &loader.assemblies;
    if (arg == "--loader") return &all;
    return nullptr;
}
}  // namespace

const char* UsageText() {
    return "Usage: kivrel-scan [OPTIONS] MODULE\n"
           "       kivrel-scan --audit [OPTIONS] PATH...\n"
           "Lists the modules MODULE needs, where each is found, and which are missing.\n"
           "\n"
           "  --initial-dir DIR   search DIR after the module's own directory\n"
           "  --system-dir DIR    the Windows system directory\n"
           "  --windows-dir DIR   the Windows directory\n"
           "  --path LIST         ';'-separated directories searched last, with %NAME%\n"
           "                      references expanded (default: PATH on Windows,\n"
           "                      WINEPATH elsewhere)\n"
           "  --api-sets          map api-*/ext-* names to their host DLLs through the API\n"
           "                      set schema (apisetschema.dll in the system directory)\n"
           "  --delay-load        also read the delay-load import table; names needed only\n"
           "                      there and missing are listed apart and do not fail\n"
           "  --match-machine     pass over modules of another machine type (a 64-bit DLL\n"
           "                      for a 32-bit program) and search on\n"
           "  --module-dir        search the module's own directory first also for a DLL\n"
           "  --functions         check every imported function against the exports of\n"
           "                      the module it comes from, following forwarders; the\n"
           "                      missing ones are listed last and fail\n"
           "  --known-dlls        take a KnownDLL (kernel32.dll, ole32.dll ...) and the names\n"
           "                      it imports from the system directory first: the list of\n"
           "                      the registry on Windows, of a Wine prefix's registry, else\n"
           "                      that of Windows 10 and 11\n"
           "  --known-dlls-list FILE\n"
           "                      the KnownDLLs, one name a line (implies --known-dlls)\n"
           "  --wow64             a 32-bit module's system directory is SysWOW64 (64-bit\n"
           "                      Windows, without --system-dir)\n"
           "  --dot-local         an EXE without a manifest that has a NAME.exe.local folder\n"
           "                      beside it gets every name from there first\n"
           "  --assemblies        take the files of the side-by-side assemblies that\n"
           "                      manifests name (the VC 8 and 9 runtimes, common\n"
           "                      controls 6) from the assembly's folder: a private one\n"
           "                      beside the program, else WinSxS in the Windows directory\n"
           "  --host EXE          scan a plug-in loaded into EXE: EXE's folder first, and EXE\n"
           "                      and every module it loads satisfy an import of their name\n"
           "  --wine-prefix DIR   the system directory (system32, or syswow64 for a 32-bit\n"
           "                      module), Windows directory and KnownDLLs of a Wine prefix\n"
           "  --loader            all the flags above from --api-sets: resolve as the\n"
           "                      Windows loader does\n"
           "  --json              print one JSON document instead of the report lines\n"
           "  --format FORMAT     lines (the default), json (as --json) or ldd: one line\n"
           "                      per reference, 'NAME => PATH' or 'NAME => not found';\n"
           "                      the last of --format and --json counts\n"
           "  --tree              print the import tree: two spaces per level, each\n"
           "                      module expanded once, later occurrences '(see above)'\n"
           "  --why NAME          print every shortest import chain from MODULE to NAME\n"
           "  --missing-only      print only the names not found (with --tree, only the\n"
           "                      branches that lead to one)\n"
           "  --copy-to DIR       copy every found module outside the system and Windows\n"
           "                      directories into DIR (created if needed)\n"
           "  --exclude-dir DIR   with --copy-to, do not copy modules found in DIR\n"
           "                      (repeatable)\n"
           "  --force             with --copy-to, replace files in DIR that differ\n"
           "  --audit             check every module of each PATH given instead of MODULE:\n"
           "                      a directory's PE files, or a module; one line per\n"
           "                      module with a problem, then a summary\n"
           "  --recursive         with --audit, also the modules of every subdirectory\n"
           "  --verbose           print the search directories, each name resolved,\n"
           "                      why each missing function does not bind and each\n"
           "                      manifest and assembly chosen on standard error\n"
           "  -h, --help          print this help\n"
           "  -V, --version       print the version\n"
           "\n"
           "Elsewhere than Windows, KIVREL_SYSTEM_DIR and KIVREL_WINDOWS_DIR stand in for\n"
           "the two Windows directories when the options are not given.\n"
           "A relative MODULE is taken from the current directory: the search order and\n"
           "every answer use its full path.\n"
           "Exit status: 0 nothing missing (also for a module without imports, \"No\n"
           "referencies\"), 1 a message line, a missing name or (with --functions) a\n"
           "missing function, 2 a usage error or a report that could not be written.\n"
           "With --why: 0 when NAME is a reference, 1 when not. With --copy-to: 1 also\n"
           "when a copy failed or a module of another machine was not copied. With\n"
           "--audit: 1 when any module has a problem.\n";
}

namespace {
// Options that answer different questions cannot share standard output, and
// the copy options mean nothing without a destination.
bool CheckCombinations(const Options& options, std::string& error) {
    const int outputs =
        int(options.json) + int(options.ldd) + int(options.tree) + int(options.why.has_value());
    if (outputs > 1) {
        error = "--json, --format ldd, --tree and --why cannot be combined";
    } else if (options.missingOnly && (options.json || options.why)) {
        error = "--missing-only cannot be combined with --json or --why";
    } else if (options.audit &&
               (outputs - int(options.json) > 0 || options.missingOnly || options.copyTo)) {
        error = "--audit can be combined with --json, but not with other answers or --copy-to";
    } else if (options.recursive && !options.audit) {
        error = "--recursive needs --audit";
    } else if (options.audit && (!options.loader.hostPath.empty() || options.loader.dotLocal)) {
        error = "--host and --dot-local cannot be combined with --audit";
    } else if (!options.copyTo && (options.force || !options.excludeDirs.empty())) {
        error = "--force and --exclude-dir need --copy-to";
    } else if ((options.copyTo && options.copyTo->empty()) ||
               (options.why && options.why->empty())) {
        error = "--copy-to and --why need a non-empty value";
    } else if ((options.knownDlls.listFile && options.knownDlls.listFile->empty()) ||
               (options.folders.winePrefix && options.folders.winePrefix->empty())) {
        error = "--known-dlls-list and --wine-prefix need a non-empty value";
    } else {
        return true;
    }
    return false;
}
}  // namespace

bool ParseOptions(const std::vector<std::string>& args, Options& options, std::string& error) {
    bool allLoaderOptions = false;
    std::vector<std::string> positional;
    std::optional<std::string> host;
    bool optionsEnded = false;
    for (size_t i = 0; i < args.size(); ++i) {
        std::string arg = args[i];
        if (!optionsEnded && arg.size() > 2 && arg.compare(0, 2, "--") == 0) {
            std::string value;
            bool hasInlineValue = false;
            const size_t equals = arg.find('=');
            if (equals != std::string::npos) {
                value = arg.substr(equals + 1);
                arg.resize(equals);
                hasInlineValue = true;
            }
            auto takeValue = [&](std::string& target) {
                if (!hasInlineValue) {
                    if (i + 1 >= args.size()) {
                        error = "option " + arg + " needs a value";
                        return false;
                    }
                    value = args[++i];
                }
                target = value;
                return true;
            };
            auto takeOptional = [&](std::optional<std::string>& target) {
                std::string text;
                if (!takeValue(text)) return false;
                target = text;
                return true;
            };
            auto noValue = [&](bool& flag) {
                if (hasInlineValue) {
                    error = "option " + arg + " takes no value";
                    return false;
                }
                flag = true;
                return true;
            };

            // --format: lines, json or ldd.
            auto takeFormat = [&]() {
                std::string format;
                if (!takeValue(format)) return false;
                if (format != "lines" && format != "json" && format != "ldd") {
                    error = "unknown format '" + format + "' (lines, json or ldd)";
                    return false;
                }
                // The last format given counts, as for every other option.
                options.json = format == "json";
                options.ldd = format == "ldd";
                return true;
            };
            // --json: the same as --format json.
            auto takeJson = [&]() {
                options.ldd = false;
                return noValue(options.json);
            };
            // --exclude-dir: repeatable.
            auto takeExcluded = [&]() {
                std::string directory;
                if (!takeValue(directory)) return false;
                options.excludeDirs.push_back(directory);
                return true;
            };

            bool ok;
            // One option a line, read as a table.
            // clang-format off
            if (arg == "--initial-dir") ok = takeValue(options.initialDirectory);
            else if (arg == "--system-dir") ok = takeOptional(options.overrides.systemDirectory);
            else if (arg == "--windows-dir") ok = takeOptional(options.overrides.windowsDirectory);
            else if (arg == "--path") ok = takeOptional(options.overrides.pathList);
            else if (arg == "--json") ok = takeJson();
            else if (arg == "--verbose") ok = noValue(options.verbose);
            else if (arg == "--help") ok = noValue(options.help);
            else if (arg == "--version") ok = noValue(options.version);
            else if (arg == "--format") ok = takeFormat();
            else if (arg == "--tree") ok = noValue(options.tree);
            else if (arg == "--why") ok = takeOptional(options.why);
            else if (arg == "--missing-only") ok = noValue(options.missingOnly);
            else if (arg == "--copy-to") ok = takeOptional(options.copyTo);
            else if (arg == "--exclude-dir") ok = takeExcluded();
            else if (arg == "--force") ok = noValue(options.force);
            else if (arg == "--audit") ok = noValue(options.audit);
            else if (arg == "--recursive") ok = noValue(options.recursive);
            else if (arg == "--known-dlls-list") ok = takeOptional(options.knownDlls.listFile);
            else if (arg == "--host") ok = takeOptional(host);
            else if (arg == "--wine-prefix") ok = takeOptional(options.folders.winePrefix);
            else if (bool* flag = LoaderFlag(arg, options, allLoaderOptions)) ok = noValue(*flag);
            // clang-format on
            else {
                error = "unknown option " + arg;
                return false;
            }
            if (!ok) return false;
            continue;
        }
        if (!optionsEnded && arg == "--") {
            optionsEnded = true;
            continue;
        }
        if (!optionsEnded && (arg == "-h" || arg == "-V")) {
            (arg == "-h" ? options.help : options.version) = true;
            continue;
        }
        if (!optionsEnded && arg.size() > 1 && arg[0] == '-') {
            error = "unknown option " + arg;
            return false;
        }
        positional.push_back(arg);
    }
    if (allLoaderOptions) EnableAllLoaderRules(options.loader, options.folders, !options.audit);
    if (options.knownDlls.listFile) options.loader.knownDlls = true;
    if (host) options.loader.hostPath = *host;
    if (options.help || options.version) return CheckCombinations(options, error);
    if (host && host->empty()) {
        error = "--host needs a non-empty value";
        return false;
    }
    if (options.audit) {
        options.auditPaths = positional;
        if (positional.empty()) {
            error = "no PATH given to --audit";
            return false;
        }
    } else if (positional.size() > 1) {
        error = "more than one MODULE given: '" + positional[0] + "' and '" + positional[1] + "'";
        return false;
    } else if (positional.empty()) {
        error = "no MODULE given";
        return false;
    } else {
        options.module = positional[0];
    }
    return CheckCombinations(options, error);
}

}  // namespace kivrel::cli
