#include "audit_command.h"

#include <algorithm>
#include <map>
#include <utility>

#include "audit_scan.h"
#include "folder_walk.h"
#include "json_writer.h"
#include "messages.h"
#include "scan_notes.h"
#include "text.h"

namespace kivrel::cli {

namespace {

struct Summary {
    size_t checked = 0;
    size_t withProblems = 0;
    // Missing names ranked by how many modules need them, most first.
    std::vector<std::pair<std::string, size_t>> missing;
};

Summary Summarize(const std::vector<AuditedModule>& modules, size_t unreadable) {
    Summary summary;
    std::map<std::string, std::pair<std::string, size_t>> byName;  // folded -> (text, count)
    for (const AuditedModule& module : modules) {
        ++summary.checked;
        if (module.exitStatus != 0) ++summary.withProblems;
        for (const auto* names : {&module.notFound, &module.incorrect}) {
            for (const std::string& name : *names) {
                auto& entry = byName[ToLowerAscii(name)];
                if (entry.second++ == 0) entry.first = name;
            }
        }
    }
    summary.checked += unreadable;
    summary.withProblems += unreadable;
    for (auto& [folded, entry] : byName) summary.missing.push_back(std::move(entry));
    std::stable_sort(summary.missing.begin(), summary.missing.end(),
                     [](const auto& a, const auto& b) { return a.second > b.second; });
    return summary;
}

std::string Joined(const std::vector<std::string>& names) {
    std::string text;
    for (const std::string& name : names) text += (text.empty() ? "" : ", ") + name;
    return text;
}

// "not found: a.dll, b.dll; incorrect: c.dll; MESSAGE", or "" when all is well.
std::string ProblemsOf(const AuditedModule& module) {
    std::vector<std::string> parts;
    if (!module.notFound.empty()) parts.push_back("not found: " + Joined(module.notFound));
    if (!module.incorrect.empty()) parts.push_back("incorrect: " + Joined(module.incorrect));
    if (IsFailingMessage(module.messageId)) parts.push_back(MessageText(module.messageId));
    // Those it needs at start-up, as the names above.
    size_t functions = 0;
    for (const FunctionInClosure& missing : module.missingFunctions)
        functions += !missing.delayLoadOnly;
    if (functions != 0) parts.push_back("missing functions: " + std::to_string(functions));
    std::string text;
    for (const std::string& part : parts) text += (text.empty() ? "" : "; ") + part;
    return text;
}

void WriteText(std::ostream& out, const std::vector<AuditedModule>& modules, const FolderWalk& walk,
               const Summary& summary, bool verbose) {
    // Modules and unreadable paths together, in path order.
    std::vector<std::pair<std::string, std::string>> lines;
    for (const AuditedModule& module : modules) {
        const std::string problems = ProblemsOf(module);
        if (!problems.empty() || verbose)
            lines.emplace_back(module.path, problems.empty() ? "ok" : problems);
    }
    for (const auto& [path, reason] : walk.failures)
        lines.emplace_back(path, "cannot be read: " + reason);
    std::sort(lines.begin(), lines.end());
    for (const auto& [path, text] : lines) out << path << ": " << text << '\n';
    if (!lines.empty()) out << '\n';
    out << summary.checked << (summary.checked == 1 ? " module" : " modules") << " checked, "
        << summary.withProblems << " with problems\n";
    for (const auto& [name, count] : summary.missing) {
        out << name << " (needed by " << count << ")\n";
    }
}

void WriteJsonNames(std::ostream& out, const std::vector<std::string>& names) {
    out << '[';
    for (size_t i = 0; i < names.size(); ++i) {
        if (i) out << ", ";
        WriteJsonString(out, names[i]);
    }
    out << ']';
}

void WriteJson(std::ostream& out, const std::vector<AuditedModule>& modules, const FolderWalk& walk,
               const Summary& summary) {
    out << "{\n  \"modules\": [";
    for (size_t i = 0; i < modules.size(); ++i) {
        const AuditedModule& module = modules[i];
        out << (i ? ",\n    " : "\n    ") << "{\"path\": ";
        WriteJsonString(out, module.path);
        out << ", \"exitStatus\": " << module.exitStatus;
        if (module.messageId != 0) {
            out << ", \"message\": ";
            WriteJsonString(out, MessageText(module.messageId));
        }
        std::vector<std::string> unresolved = module.notFound;
        unresolved.insert(unresolved.end(), module.incorrect.begin(), module.incorrect.end());
        out << ", \"unresolved\": ";
        WriteJsonNames(out, unresolved);
        out << ", \"incorrect\": ";
        WriteJsonNames(out, module.incorrect);
        out << ", \"delayLoadOnly\": ";
        WriteJsonNames(out, module.delayLoadOnly);
        out << ", \"missingFunctions\": [";
        for (size_t k = 0; k < module.missingFunctions.size(); ++k) {
            out << (k ? ", " : "");
            const FunctionInClosure& missing = module.missingFunctions[k];
            WriteJsonMissingFunction(out, missing.missing->importer, missing.missing->function,
                                     missing.delayLoadOnly);
        }
        out << "]}";
    }
    out << (modules.empty() ? "]" : "\n  ]");
    out << ",\n  \"unreadable\": [";
    for (size_t i = 0; i < walk.failures.size(); ++i) {
        out << (i ? ",\n    " : "\n    ") << "{\"path\": ";
        WriteJsonString(out, walk.failures[i].first);
        out << ", \"reason\": ";
        WriteJsonString(out, walk.failures[i].second);
        out << '}';
    }
    out << (walk.failures.empty() ? "]" : "\n  ]");
    out << ",\n  \"summary\": {\"modulesChecked\": " << summary.checked
        << ", \"withProblems\": " << summary.withProblems << ", \"missing\": [";
    for (size_t i = 0; i < summary.missing.size(); ++i) {
        out << (i ? ", " : "") << "{\"name\": ";
        WriteJsonString(out, summary.missing[i].first);
        out << ", \"neededBy\": " << summary.missing[i].second << '}';
    }
    out << "]}\n}\n";
}

}  // namespace

int RunAudit(const Options& options, const CKnownDlls& knownDlls, std::ostream& out,
             std::ostream& err) {
    const FolderWalk walk = WalkFolders(options.auditPaths, options.recursive);
    std::vector<std::string> paths;
    paths.reserve(walk.files.size());
    for (const WalkedFile& file : walk.files) paths.push_back(file.path);

    auto platform = CreateNativePlatform(options.overrides);
    CScanNotes notes(err, options.verbose);
    CAuditScan audit(*platform, options.loader, options.initialDirectory, &notes);
    audit.SetKnownDlls(&knownDlls);
    std::vector<AuditedModule> checked = audit.Check(paths);
    // A file found in a directory is a module only when it is a PE image; one
    // named on the command line is reported whatever it is.
    std::vector<AuditedModule> modules;
    for (size_t i = 0; i < checked.size(); ++i) {
        if (checked[i].isPe || walk.files[i].named) modules.push_back(std::move(checked[i]));
    }
    const Summary summary = Summarize(modules, walk.failures.size());
    if (options.json) {
        WriteJson(out, modules, walk, summary);
    } else {
        WriteText(out, modules, walk, summary, options.verbose);
    }
    return summary.withProblems != 0 ? 1 : 0;
}

}  // namespace kivrel::cli
