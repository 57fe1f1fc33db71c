#include "hostile_scan.h"

#include <cstdio>
#include <cstdlib>
#ifndef _WIN32
#include <future>
#include <thread>
#endif

#include "pe_writer.h"
#include "text.h"

namespace kivrel::test {

std::vector<uint8_t> ModuleImporting(const std::vector<std::string>& imports) {
    PeBuilder builder;
    for (const std::string& name : imports) builder.Import(name);
    return builder.Build();
}

void FinishWithin(std::chrono::seconds limit, const std::function<void()>& work) {
#ifdef _WIN32
    // MinGW's win32 thread model has no std::thread; the special files that
    // could block exist only on Linux.
    (void)limit;
    work();
#else
    std::packaged_task<void()> task(work);
    std::future<void> done = task.get_future();
    std::thread runner(std::move(task));
    if (done.wait_for(limit) == std::future_status::timeout) {
        // The worker is stuck in a system call; nothing can end it but the process.
        std::fprintf(stderr, "the scan did not finish within %lld s\n",
                     static_cast<long long>(limit.count()));
        std::_Exit(3);
    }
    runner.join();
    done.get();
#endif
}

const Reference* FindReference(const CReferenceScanner& scanner, const std::string& name) {
    for (const Reference& entry : scanner.References().Entries()) {
        if (EqualsNoCase(entry.text, name)) return &entry;
    }
    return nullptr;
}

int StateOf(const CReferenceScanner& scanner, const std::string& name) {
    const Reference* entry = FindReference(scanner, name);
    return entry != nullptr ? entry->State() : -1;
}

}  // namespace kivrel::test
