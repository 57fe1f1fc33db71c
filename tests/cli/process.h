// Runs a program as a child process and collects its exit status and output,
// natively with posix_spawn and pipes, on Windows (under Wine) with
// CreateProcess and temporary files. Arguments reach the child unchanged: no
// shell runs in between, so '%' and quotes mean nothing special.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace kivrel::test {

struct EnvChange {
    std::string name;
    std::optional<std::string> value;  // nullopt: removed from the child's environment
};

struct ProcessResult {
    bool started = false;
    std::string startError;  // why the program could not be run
    int exitCode = -1;       // natively 128 + signal when the child was killed
    std::string out;
    std::string err;
};

// argv[0] is the program: a path, or natively a name looked up in PATH.
// The child's standard input is empty; its environment is ours with `env` applied.
ProcessResult RunProcess(const std::vector<std::string>& argv,
                         const std::vector<EnvChange>& env = {});

// Splits output into lines at '\n'. Text after the last '\n' (an unterminated
// last line) is returned as a line of its own.
std::vector<std::string> SplitLines(const std::string& text);

}  // namespace kivrel::test
