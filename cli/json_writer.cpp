#include "json_writer.h"

namespace kivrel::cli {

namespace {
const char* StateName(uint16_t state) {
    switch (state) {
        case REF_PENDING:
            return "pending";
        case REF_NOT_FOUND:
            return "not-found";
        case REF_INCORRECT:
            return "incorrect";
        case REF_FOUND:
            return "found";
        case REF_API_SET:
            return "api-set";
        default:
            return "unknown";
    }
}
}  // namespace

void WriteJsonString(std::ostream& out, const std::string& text) {
    static const char kHex[] = "0123456789abcdef";
    out << '"';
    for (unsigned char c : text) {
        switch (c) {
            case '"':
                out << "\\\"";
                break;
            case '\\':
                out << "\\\\";
                break;
            case '\n':
                out << "\\n";
                break;
            case '\r':
                out << "\\r";
                break;
            case '\t':
                out << "\\t";
                break;
            default:
                if (c < 0x20 || c >= 0x7F) {
                    out << "\\u00" << kHex[c >> 4] << kHex[c & 15];
                } else {
                    out << static_cast<char>(c);
                }
        }
    }
    out << '"';
}

void WriteJsonReport(std::ostream& out, const CScanResult& result,
                     const std::vector<ReportLine>& lines) {
    out << "{\n  \"module\": ";
    WriteJsonString(out, result.ModulePath());
    out << ",\n  \"searchDirectories\": [";
    const auto& directories = result.SearchDirectories();
    for (size_t i = 0; i < directories.size(); ++i) {
        out << (i ? ",\n    " : "\n    ");
        WriteJsonString(out, directories[i]);
    }
    out << (directories.empty() ? "]" : "\n  ]");

    out << ",\n  \"references\": [";
    const auto& references = result.References().Entries();
    for (size_t i = 0; i < references.size(); ++i) {
        const Reference& entry = references[i];
        out << (i ? ",\n    " : "\n    ") << "{\"name\": ";
        WriteJsonString(out, entry.text);
        out << ", \"state\": \"" << StateName(entry.State())
            << "\", \"stateValue\": " << entry.State()
            << ", \"directoryIndex\": " << entry.DirectoryIndex();
        if (!result.PathOf(i).empty()) {
            out << ", \"path\": ";
            WriteJsonString(out, result.PathOf(i));
        }
        if (entry.State() == REF_API_SET) {
            out << ", \"host\": ";
            WriteJsonString(out, entry.host);
        }
        if (entry.delayLoadOnly) out << ", \"delayLoadOnly\": true";
        if (result.OnlyForwarded(i)) {
            out << ", \"via\": \"forwarder\"";
        } else if (!entry.via.empty()) {
            out << ", \"via\": ";
            WriteJsonString(out, entry.via);
        }
        out << "}";
    }
    out << (references.empty() ? "]" : "\n  ]");

    out << ",\n  \"lines\": [";
    for (size_t i = 0; i < lines.size(); ++i) {
        out << (i ? ",\n    " : "\n    ") << "{\"text\": ";
        WriteJsonString(out, lines[i].text);
        out << ", \"value\": " << lines[i].value << "}";
    }
    out << (lines.empty() ? "]" : "\n  ]");
    if (result.FunctionsChecked()) {
        out << ",\n  \"missingFunctions\": [";
        const auto& missing = result.MissingFunctions();
        for (size_t i = 0; i < missing.size(); ++i) {
            const MissingFunction& m = missing[i];
            out << (i ? ",\n    " : "\n    ") << "{\"importer\": ";
            WriteJsonString(out, result.ImporterName(m));
            out << ", \"module\": ";
            WriteJsonString(out, m.module);
            if (m.byOrdinal) {
                out << ", \"ordinal\": " << m.ordinal;
            } else {
                out << ", \"name\": ";
                WriteJsonString(out, m.name);
            }
            if (!m.forwardedTo.empty()) {
                out << ", \"forwardedTo\": ";
                WriteJsonString(out, m.forwardedTo);
            }
            out << ", \"delayLoadOnly\": " << (m.delayLoadOnly ? "true" : "false") << "}";
        }
        out << (missing.empty() ? "]" : "\n  ]");
    }
    out << ",\n  \"exitStatus\": " << result.ExitStatus() << "\n}\n";
}

}  // namespace kivrel::cli
