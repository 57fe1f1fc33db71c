// Message lines of the scan report. The numbers are the string resource ids
// the dialog loads; the texts here are the same strings for the portable core.
#pragma once

namespace kivrel {

enum MessageId : int {
    IDS_INVALID_NT_SIGNATURE = 117,
    IDS_SCAN_FAILED = 118,
    IDS_NO_REFERENCES = 119,
    IDS_NO_MODULE = 120,
    IDS_NOT_FOUND_HEADING = 123,
};

// Headings of the groups that only the loader options produce; the dialog
// never shows them, so they are no string resources.
constexpr const char* kApiSetsHeading = "*** API SETS ***";
constexpr const char* kDelayLoadOnlyHeading = "*** NOT FOUND (delay-load only) ***";
constexpr const char* kMissingFunctionsHeading = "*** MISSING FUNCTIONS ***";
constexpr const char* kMissingFunctionsDelayHeading = "*** MISSING FUNCTIONS (delay-load only) ***";

// The text of a message id, or "" for an id that is not a message of the scan.
const char* MessageText(int id);

}  // namespace kivrel
