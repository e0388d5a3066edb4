// Runs one pass of the folder mirror the way the program does (on a framework
// thread, the main thread waiting in the event loop) and prints its duration and
// the process's peak memory.
//   bench_sync_pass load|writeback <source folder> <RAM-disk folder>
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

#include "app/App.h"
#include "engine/CCleanRAMDisk.h"
#include "engine/CSync.h"
#include "framework/Application.h"
#include "framework/FolderItem.h"

int main(int argc, char** argv) {
    if (argc != 4 || (std::strcmp(argv[1], "load") != 0 && std::strcmp(argv[1], "writeback") != 0)) {
        std::fprintf(stderr, "usage: %s load|writeback <source folder> <RAM-disk folder>\n", argv[0]);
        return 2;
    }
    const bool load = std::strcmp(argv[1], "load") == 0;
    const std::string source = argv[2], ram = argv[3];
    fw::InitRuntime(argc, argv);
    int rc = 1;
    {
        App a;
        fw::RegisterApplication(&a);
        a.sSize = "4.096";
        a.bLoadComplete = true;  // a write-back after a complete load deletes too
        a.oCleanRamDisk = fw::New<CCleanRAMDisk>();

        auto sync = fw::New<CSync>();
        sync->sFolderSource(fw::EscapeShellWord(source));
        sync->sFolderTarget(fw::EscapeShellWord(ram));
        sync->bSet(load);
        rusage before{};
        ::getrusage(RUSAGE_SELF, &before);
        const auto start = std::chrono::steady_clock::now();
        a.bTransactionCopy = true;
        sync->Run();
        // The main thread looks in now and then, as an idle event loop would; each
        // look costs the pass a hand-over of the baton.
        while (a.bTransactionCopy) fw::ProcessEvents(5);
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        rusage usage{};
        ::getrusage(RUSAGE_SELF, &usage);
        const auto cpu = [](const rusage& u) {
            return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
        };
        std::printf("seconds: %.6f\ncpu_seconds: %.6f\npeak_kb: %ld\nstate: %s\n", took.count(),
                    cpu(usage) - cpu(before), usage.ru_maxrss, a.sState.c_str());
        rc = a.bLastSyncComplete ? 0 : 1;
        a.oCleanRamDisk = nullptr;
        fw::RegisterApplication(nullptr);
    }
    return rc;
}
