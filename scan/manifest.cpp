#include "manifest.h"

#include <tuple>

#include "mapped_image.h"
#include "reference_scanner.h"
#include "resource_directory.h"
#include "text.h"
#include "xml_reader.h"

namespace kivrel {

namespace {
constexpr std::string_view kAssemblyNamespace = "urn:schemas-microsoft-com:asm.v1";

bool IsPlainField(std::string_view text) {
    if (text == "*") return true;
    for (char c : text) {
        const bool ok =
            (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '-';
        if (!ok) return false;
    }
    return FitsPathBuffer(text);
}

bool IsFileName(std::string_view name) {
    return !name.empty() && FitsPathBuffer(name) && IsSearchableName(name);
}

// Builds the manifest from the elements on the path assembly/... that it reads.
class CManifestVisitor : public IXmlVisitor {
public:
    explicit CManifestVisitor(Manifest& manifest) : m_manifest(manifest) {}

    bool IsAssembly() const { return m_bAssembly; }

    void OnStart(std::string_view uri, std::string_view local,
                 const std::vector<XmlAttribute>& attributes) override {
        const Kind parent = m_path.empty() ? ROOT : m_path.back();
        Kind kind = OTHER;
        if (uri == kAssemblyNamespace) kind = KindOf(parent, local);
        if (parent == ROOT) m_bAssembly = kind == ASSEMBLY;
        m_path.push_back(kind);
        auto value = [&](std::string_view name) -> std::string {
            for (const XmlAttribute& attribute : attributes)
                if (attribute.uri.empty() && attribute.local == name) return attribute.value;
            return {};
        };
        switch (kind) {
            case IDENTITY:
                if (!m_manifest.hasIdentity) m_manifest.identity = Identity(value);
                m_manifest.hasIdentity = true;
                break;
            case FILE:
                if (IsFileName(value("name"))) m_manifest.files.push_back(value("name"));
                break;
            case DEPENDENCY:
                m_bOptional = value("optional") == "yes";
                break;
            case DEPENDENT:
                m_manifest.dependencies.emplace_back().optional = m_bOptional;
                break;
            case DEPENDENT_IDENTITY:
                if (m_manifest.dependencies.back().identity.name.empty())
                    m_manifest.dependencies.back().identity = Identity(value);
                break;
            case REDIRECT:
                m_manifest.dependencies.back().redirects.push_back(
                    {value("oldVersion"), value("newVersion")});
                break;
            default:
                break;
        }
    }

    void OnEnd() override {
        // A dependency without a name cannot be looked up; the loader refuses it.
        if (m_path.back() == DEPENDENT && m_manifest.dependencies.back().identity.name.empty())
            m_manifest.dependencies.pop_back();
        m_path.pop_back();
    }

private:
    enum Kind {
        ROOT,
        OTHER,
        ASSEMBLY,
        IDENTITY,
        FILE,
        DEPENDENCY,
        DEPENDENT,
        DEPENDENT_IDENTITY,
        REDIRECT
    };

    static Kind KindOf(Kind parent, std::string_view local) {
        static constexpr std::tuple<Kind, std::string_view, Kind> kPaths[] = {
            {ROOT, "assembly", ASSEMBLY},
            {ASSEMBLY, "assemblyIdentity", IDENTITY},
            {ASSEMBLY, "file", FILE},
            {ASSEMBLY, "dependency", DEPENDENCY},
            {DEPENDENCY, "dependentAssembly", DEPENDENT},
            {DEPENDENT, "assemblyIdentity", DEPENDENT_IDENTITY},
            {DEPENDENT, "bindingRedirect", REDIRECT},
        };
        for (const auto& [from, name, kind] : kPaths)
            if (from == parent && name == local) return kind;
        return OTHER;
    }

    template <typename Value>
    static AssemblyIdentity Identity(const Value& value) {
        return {value("type"),           value("name"),
                value("version"),        value("processorArchitecture"),
                value("publicKeyToken"), value("language")};
    }

    Manifest& m_manifest;
    std::vector<Kind> m_path;
    bool m_bAssembly = false;
    bool m_bOptional = false;
};
}  // namespace

bool AssemblyVersion::Parse(std::string_view text, AssemblyVersion& version) {
    size_t at = 0;
    for (int i = 0; i < 4; ++i) {
        if (i > 0 && (at >= text.size() || text[at++] != '.')) return false;
        uint32_t value = 0;
        const size_t start = at;
        while (at < text.size() && text[at] >= '0' && text[at] <= '9' && at - start < 6)
            value = value * 10 + uint32_t(text[at++] - '0');
        if (at == start || value > 0xFFFF) return false;
        version.part[i] = uint16_t(value);
    }
    return at == text.size();
}

std::string AssemblyVersion::ToString() const {
    return std::to_string(part[0]) + '.' + std::to_string(part[1]) + '.' + std::to_string(part[2]) +
           '.' + std::to_string(part[3]);
}

bool operator<(const AssemblyVersion& a, const AssemblyVersion& b) {
    return std::tie(a.part[0], a.part[1], a.part[2], a.part[3]) <
           std::tie(b.part[0], b.part[1], b.part[2], b.part[3]);
}

bool operator==(const AssemblyVersion& a, const AssemblyVersion& b) { return !(a < b) && !(b < a); }

bool BindingRedirect::Covers(const AssemblyVersion& version, AssemblyVersion& target) const {
    const size_t dash = oldVersion.find('-');
    AssemblyVersion low, high;
    if (!AssemblyVersion::Parse(std::string_view(oldVersion).substr(0, dash), low)) return false;
    high = low;
    if (dash != std::string::npos &&
        !AssemblyVersion::Parse(std::string_view(oldVersion).substr(dash + 1), high)) {
        return false;
    }
    return !(version < low) && !(high < version) && AssemblyVersion::Parse(newVersion, target);
}

void ReadManifestResource(const CMappedImage& image, uint16_t id, ModuleManifest& result) {
    result = ModuleManifest();
    ResourceData data;
    const ResourceLookup lookup = FindResourceData(image, kResourceManifest, id, data);
    if (lookup == RESOURCE_ABSENT) return;
    result.source = "resource " + std::to_string(id);
    if (lookup == RESOURCE_DAMAGED) {
        result.error = "the resource directory is damaged";
        return;
    }
    const std::string_view text(reinterpret_cast<const char*>(image.View()) + data.offset,
                                data.size);
    result.read = ReadManifest(text, result.manifest, result.error);
}

bool IsLookupSafe(const AssemblyIdentity& identity) {
    AssemblyVersion version;
    return IsFileName(identity.name) && AssemblyVersion::Parse(identity.version, version) &&
           IsPlainField(identity.processorArchitecture) && IsPlainField(identity.publicKeyToken) &&
           IsPlainField(identity.language);
}

bool ReadManifest(std::string_view text, Manifest& manifest, std::string& error) {
    while (!text.empty() && text.back() == '\0') text.remove_suffix(1);
    manifest = Manifest();
    CManifestVisitor visitor(manifest);
    const XmlOutcome outcome = ReadXml(text, visitor);
    if (outcome.error == XML_OK && visitor.IsAssembly()) return error.clear(), true;
    error = outcome.error != XML_OK
                ? std::string(outcome.reason) + " at byte " + std::to_string(outcome.offset)
                : "the root element is not an assembly";
    manifest = Manifest();
    return false;
}

}  // namespace kivrel
