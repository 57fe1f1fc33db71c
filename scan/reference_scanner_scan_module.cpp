// Reading one module: map it, check that it is a PE image of the wanted
// machine type, and add the names of its import tables as pending references.
#include "import_walk.h"
#include "mapped_image.h"
#include "messages.h"
#include "reference_scanner.h"
#include "text.h"

namespace kivrel {

int CReferenceScanner::ScanModule(const std::string& path, int* errorId) {
    int result = 0;
    int error = IDS_INVALID_NT_SIGNATURE;
    // A path that does not fit a path buffer cannot be opened by the platform's
    // narrow-character calls; it is treated as a file that failed to open.
    if (FitsPathBuffer(path)) {
        const CMappedImage image(path.c_str());
        result = ScanImage(image, &error);
    }
    if (errorId != nullptr) *errorId = error;
    return result;
}

int CReferenceScanner::ScanImage(const CMappedImage& image, int* errorId) {
    int result = 0;
    int error = IDS_INVALID_NT_SIGNATURE;
    m_lastImports.clear();
    m_wLastMachine = image.Machine();
    if (image.PeHeaders() != nullptr && m_wRequiredMachine != 0 &&
        m_wLastMachine != m_wRequiredMachine) {
        // Another machine type: the loader passes it over, and so its imports
        // are not read.
    } else if (image.PeHeaders() != nullptr) {
        result = 1;
        unsigned count = 0;
        const WalkResult walk = WalkImportNames(image, [&](std::string_view name) {
            m_lastImports.push_back(AddReference(name, 0, REF_PENDING, ORIGIN_IMPORT));
            ++count;
        });
        if (m_options.delayLoad) {
            WalkDelayLoadNames(image, [&](std::string_view name) {
                m_lastImports.push_back(AddReference(name, 0, REF_PENDING, ORIGIN_DELAY_IMPORT));
                ++count;
            });
        }
        error = walk == WALK_UNTRANSLATABLE ? IDS_SCAN_FAILED : count == 0 ? IDS_NO_REFERENCES : 0;
    }
    if (errorId != nullptr) *errorId = error;
    return result;
}

}  // namespace kivrel
