// Fuzz target for the API set schema reader: the bytes are an ".apiset" section.
#include <string>

#include "api_set_schema.h"
#include "fuzz_check.h"
#include "text.h"

using kivrel::CApiSetSchema;
using kivrel::fuzz::Require;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CApiSetSchema schema;
    std::string error;
    const bool loaded = schema.LoadSection(data, kivrel::fuzz::Size32(size), error);
    Require(loaded == schema.IsLoaded() && loaded == error.empty(),
            "a reason exactly when refused");
    Require(loaded || schema.size() == 0, "a refused schema holds nothing");
    for (const char* name : {"api-ms-win-core-synch-l1-2-0.dll", "API-MS-WIN-CORE-SYNCH-L1-2-0.",
                             "ext-ms-win-x-l1-1-0.dll", "api-a-b", "api-", "ext-.dll"}) {
        std::string host;
        const CApiSetSchema::Lookup lookup = schema.Find(name, host);
        Require(loaded || lookup == CApiSetSchema::APISET_UNKNOWN, "no schema knows no name");
        Require((lookup == CApiSetSchema::APISET_HOST) == !host.empty(),
                "a host exactly when found");
        Require(kivrel::FitsPathBuffer(host), "a host fits a path buffer");
    }
    return 0;
}
