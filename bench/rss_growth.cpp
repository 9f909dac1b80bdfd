// Memory over many round trips: peak RSS (ru_maxrss), current RSS and the heap
// in use after 10k, 100k and 1M host round trips (startStatusAnalysis then
// startConvertXML on a fresh map and tree). Memory that a round trip failed
// to give back would grow with the count; a per-call leak of even one small
// block shows up as tens of MiB by the last checkpoint.
//
//   bench_rss            the host holds its own reference to the common module
//   bench_rss --unheld   it does not: the module is loaded and unloaded in
//                        every round trip
//   --rounds=N           the last checkpoint (default 1000000)
#include <malloc.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <vector>

#include "host.h"

namespace {

long maxRssKiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

long currentRssKiB() {
    std::ifstream statm("/proc/self/statm");
    long pages = 0;
    long resident = 0;
    statm >> pages >> resident;
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

long heapInUseKiB() {
    return static_cast<long>(mallinfo2().uordblks / 1024);
}

}  // namespace

int main(int argc, char** argv) {
    bool held = true;
    long rounds = 1000000;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--unheld") == 0) {
            held = false;
        } else if (std::strncmp(argv[i], "--rounds=", 9) == 0) {
            rounds = std::atol(argv[i] + 9);
        } else {
            std::fprintf(stderr, "usage: %s [--unheld] [--rounds=N]\n", argv[0]);
            return 2;
        }
    }

    benchhost::initLogging();
    benchhost::Analyzer analyzer;
    std::unique_ptr<benchhost::CommonModuleReference> reference;
    if (held) {
        reference = std::make_unique<benchhost::CommonModuleReference>();
    }
    std::vector<char> block = benchhost::makeStatusBlock(16);

    std::printf("common module %s by the host; records rejected by the core's filter\n",
                held ? "held" : "not held");
    std::printf("%10s %14s %14s %14s\n", "rounds", "ru_maxrss KiB", "RSS KiB", "heap KiB");
    std::vector<long> checkpoints;
    for (long c = 10000; c < rounds; c *= 10) {
        checkpoints.push_back(c);
    }
    checkpoints.push_back(rounds);

    long done = 0;
    long firstMax = 0;
    long firstHeap = 0;
    long lastMax = 0;
    long lastHeap = 0;
    for (long checkpoint : checkpoints) {
        for (; done < checkpoint; ++done) {
            if (!analyzer.roundTrip(block)) {
                std::fprintf(stderr, "round trip %ld returned false\n", done);
                return 1;
            }
        }
        lastMax = maxRssKiB();
        lastHeap = heapInUseKiB();
        if (checkpoint == checkpoints.front()) {
            firstMax = lastMax;
            firstHeap = lastHeap;
        }
        std::printf("%10ld %14ld %14ld %14ld\n", checkpoint, lastMax, currentRssKiB(), lastHeap);
        std::fflush(stdout);
    }

    // Flat: less than one byte per round trip after the first checkpoint,
    // which no leak of a heap block (32 bytes at least) can stay under.
    const long between = rounds - checkpoints.front();
    const double perCall = between > 0 ? (lastMax - firstMax) * 1024.0 / between : 0.0;
    const double heapPerCall = between > 0 ? (lastHeap - firstHeap) * 1024.0 / between : 0.0;
    const bool flat = perCall < 1.0 && heapPerCall < 1.0;
    std::printf(
        "growth after %ld round trips: peak RSS %+ld KiB (%.3f B/round trip), heap %+ld "
        "KiB (%.3f B/round trip)   target < 1 B/round trip  %s\n",
        checkpoints.front(), lastMax - firstMax, perCall, lastHeap - firstHeap, heapPerCall,
        flat ? "PASS" : "MISS");
    return flat ? 0 : 1;
}
