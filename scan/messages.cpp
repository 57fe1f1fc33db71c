#include "messages.h"

namespace kivrel {

const char* MessageText(int id) {
    switch (id) {
        // One message a line, read as a table.
        // clang-format off
        case IDS_INVALID_NT_SIGNATURE: return "*** INVALID NT SIGNATURE ***";
        case IDS_SCAN_FAILED: return "*** SCAN FAILED ***";
        case IDS_NO_REFERENCES: return "No referencies";
        case IDS_NO_MODULE: return "No Windows module specified";
        case IDS_NOT_FOUND_HEADING: return "*** NOT FOUND or INCORRECT ***";
        default: return "";
            // clang-format on
    }
}

}  // namespace kivrel
