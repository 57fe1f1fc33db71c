#include "json_writer.h"

#include "file_ops.h"
#include "read_failure.h"

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

// The length of the well-formed UTF-8 sequence that begins at text[i], a
// byte of 0x80 or above; 0 when there is none.
size_t Utf8SequenceAt(const std::string& text, size_t i) {
    const unsigned char lead = static_cast<unsigned char>(text[i]);
    if (lead < 0xC2 || lead > 0xF4) return 0;
    const size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
    if (text.size() - i < length) return 0;
    // The second byte's range rules out overlong forms, surrogates and
    // code points above U+10FFFF.
    unsigned char low = 0x80, high = 0xBF;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
    for (size_t k = 1; k < length; ++k) {
        const unsigned char c = static_cast<unsigned char>(text[i + k]);
        if (c < low || c > high) return 0;
        low = 0x80;
        high = 0xBF;
    }
    return length;
}
}  // namespace

void WriteJsonString(std::ostream& out, const std::string& narrow) {
    static const char kHex[] = "0123456789abcdef";
    const std::string text = NarrowToUtf8(narrow);
    out << '"';
    for (size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
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
                if (c < 0x20 || c == 0x7F) {
                    out << "\\u00" << kHex[c >> 4] << kHex[c & 15];
                } else if (c < 0x80) {
                    out << static_cast<char>(c);
                } else if (const size_t length = Utf8SequenceAt(text, i)) {
                    out.write(text.data() + i, static_cast<std::streamsize>(length));
                    i += length - 1;
                } else {
                    // Python's "surrogateescape": os.fsencode gives the byte back.
                    out << "\\udc" << kHex[c >> 4] << kHex[c & 15];
                }
        }
    }
    out << '"';
}

namespace {
// "rejected": the files that matched the reference's name and were passed over.
void WritePassedOver(std::ostream& out, const std::vector<const PassedOver*>& files,
                     uint16_t machine) {
    if (files.empty()) return;
    for (size_t i = 0; i < files.size(); ++i) {
        out << (i ? ", " : ", \"rejected\": [") << "{\"path\": ";
        WriteJsonString(out, files[i]->path);
        out << ", \"reason\": ";
        WriteJsonString(out, WhyPassedOver(*files[i], machine));
        out << "}";
    }
    out << "]";
}
}  // namespace

void WriteJsonMissingFunction(std::ostream& out, const std::string& importer,
                              const MissingFunction& missing, bool delayLoadOnly) {
    out << "{\"importer\": ";
    WriteJsonString(out, importer);
    out << ", \"module\": ";
    WriteJsonString(out, missing.module);
    if (missing.byOrdinal) {
        out << ", \"ordinal\": " << missing.ordinal;
    } else {
        out << ", \"name\": ";
        WriteJsonString(out, missing.name);
    }
    if (!missing.forwardedTo.empty()) {
        out << ", \"forwardedTo\": ";
        WriteJsonString(out, missing.forwardedTo);
    }
    out << ", \"delayLoadOnly\": " << (delayLoadOnly ? "true" : "false") << "}";
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
    std::vector<std::vector<const PassedOver*>> passedOver(references.size());
    for (const PassedOver& file : result.PassedOverFiles()) {
        const long index = result.References().Find(file.name);
        if (index >= 0) passedOver[static_cast<size_t>(index)].push_back(&file);
    }
    for (size_t i = 0; i < references.size(); ++i) {
        const Reference& entry = references[i];
        out << (i ? ",\n    " : "\n    ") << "{\"name\": ";
        WriteJsonString(out, entry.text);
        out << ", \"state\": \"" << StateName(entry.State())
            << "\", \"stateValue\": " << entry.State();
        // Only a found or an incorrect name was met in a directory.
        if (entry.State() == REF_FOUND || entry.State() == REF_INCORRECT)
            out << ", \"directoryIndex\": " << entry.DirectoryIndex();
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
        WritePassedOver(out, passedOver[i], result.Module().machine);
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
            out << (i ? ",\n    " : "\n    ");
            WriteJsonMissingFunction(out, result.ImporterName(missing[i]), missing[i],
                                     missing[i].delayLoadOnly);
        }
        out << (missing.empty() ? "]" : "\n  ]");
    }
    out << ",\n  \"exitStatus\": " << result.ExitStatus() << "\n}\n";
}

}  // namespace kivrel::cli
