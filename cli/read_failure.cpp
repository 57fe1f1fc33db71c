#include "read_failure.h"

#include <cstdio>

#include "file_ops.h"
#include "path_text.h"

namespace kivrel::cli {

std::string MachineName(uint16_t machine) {
    switch (machine) {
        case 0x014C:
            return "i386";
        case 0x8664:
            return "x86-64";
        case 0xAA64:
            return "ARM64";
        case 0x01C4:
            return "ARM";
        default: {
            char number[8];
            std::snprintf(number, sizeof number, "0x%04X", machine);
            return number;
        }
    }
}

std::string WhyNotRead(const std::string& path, ReadFailure failure, uint16_t machine,
                       uint16_t wanted) {
    switch (failure) {
        case ReadFailure::NONE:
            return "";
        case ReadFailure::UNREADABLE:
        case ReadFailure::UNMAPPABLE: {
            if (!FitsPathBuffer(path)) return "path longer than 259 characters";
            // The file may have changed since the scan read it; the kind is still told.
            const std::string reason = WhyUnreadable(path);
            if (!reason.empty()) return reason;
            return failure == ReadFailure::UNREADABLE ? "cannot be opened" : "cannot be mapped";
        }
        case ReadFailure::NO_MZ:
            return "not a PE image (no MZ header)";
        case ReadFailure::NO_PE:
            return "not a PE image (no PE header)";
        case ReadFailure::OTHER_MACHINE:
            return "wrong machine (" + MachineName(machine) + ", not " + MachineName(wanted) + ")";
    }
    return "";
}

}  // namespace kivrel::cli
