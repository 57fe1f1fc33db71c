// Why a file was not read as a module, in words: for the notes on standard
// error and the JSON document.
#pragma once

#include <cstdint>
#include <string>

#include "module_read.h"

namespace kivrel::cli {

// "i386", "x86-64", "ARM64" ... or the number ("0x0200").
std::string MachineName(uint16_t machine);

// The reason `path` gave `failure`: the system's words when it could not be
// read ("No such file or directory"), else "not a PE image (no MZ header)",
// "wrong machine (x86-64, not i386)" ...; `wanted` is the machine required.
std::string WhyNotRead(const std::string& path, ReadFailure failure, uint16_t machine,
                       uint16_t wanted);

inline std::string WhyPassedOver(const PassedOver& file, uint16_t wanted) {
    return WhyNotRead(file.path, file.failure, file.machine, wanted);
}

}  // namespace kivrel::cli
