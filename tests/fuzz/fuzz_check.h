// A broken promise is reported and aborts: libFuzzer and the replay driver both fail on it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace kivrel::fuzz {

inline void Require(bool condition, const char* promise) {
    if (condition) return;
    std::fprintf(stderr, "fuzz check failed: %s\n", promise);
    std::abort();
}

// Reads the byte so that a sanitizer sees any pointer outside the input.
inline void Touch(const uint8_t* p) { (void)*static_cast<const volatile uint8_t*>(p); }

// libFuzzer makes no input of 4 GiB.
inline uint32_t Size32(size_t size) { return size > UINT32_MAX ? UINT32_MAX : uint32_t(size); }

}  // namespace kivrel::fuzz
