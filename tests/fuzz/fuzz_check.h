// What a fuzz target asserts about the scan: a broken promise is reported and
// aborts, so that libFuzzer and the replay driver both count it as a failure.
#pragma once

#include <cstdio>
#include <cstdlib>

namespace kivrel::fuzz {

inline void Require(bool condition, const char* promise) {
    if (condition) return;
    std::fprintf(stderr, "fuzz check failed: %s\n", promise);
    std::abort();
}

// Reads the byte so that a sanitizer sees any pointer outside the input.
inline unsigned char Touch(const unsigned char* p) {
    return *static_cast<const volatile unsigned char*>(p);
}

}  // namespace kivrel::fuzz
