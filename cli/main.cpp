// kivrel-scan: the scan and report of Kivrel on the command line.
#include <iostream>
#include <string>
#include <vector>

#include "scan_command.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>

#include <cstdio>
#endif

int main(int argc, char** argv) {
#ifdef _WIN32
    // Report lines end in "\n" on every platform.
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    return kivrel::cli::RunScanCommand(std::vector<std::string>(argv + 1, argv + argc), std::cout,
                                       std::cerr);
}
