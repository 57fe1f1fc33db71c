// The real-world corpus of the cross-checks: the PE modules Wine installs.
#pragma once

namespace kivrel::test {

constexpr const char* kWineX86_64Dlls = "/usr/lib/x86_64-linux-gnu/wine/x86_64-windows";
constexpr const char* kWineI386Dlls = "/usr/lib/i386-linux-gnu/wine/i386-windows";

}  // namespace kivrel::test
