// The C interface's cost per block against the analyzer's own round trip, in
// one run (see docs/performance.md).
//
//   capi/roundtrip   startStatusAnalysis + startConvertXML through the
//                    exports, the host holding the common module, fresh map
//                    and tree: what any C++ host pays
//   capi/analyze     qlx5100_analyze + qlx5100_result_json +
//                    qlx5100_result_free: the same two calls, the expert
//                    checks, the XML document, the ndjson record and the
//                    result's copy of the block and entries
//
// Both on the same block, with the records turned away by libqlx5100's sink
// (no callback set), as in a host that does not log.
#include <cstdio>
#include <memory>
#include <vector>

#include <benchmark/benchmark.h>

#include "host.h"
#include "qlx5100/qlx5100.h"
#include "ratio_reporter.h"

namespace {

std::unique_ptr<benchhost::Analyzer> g_analyzer;
std::unique_ptr<benchhost::CommonModuleReference> g_common;

void roundTrip(benchmark::State& state) {
    std::vector<char> block = benchhost::makeStatusBlock(4);
    for (auto _ : state) {
        if (!g_analyzer->roundTrip(block)) {
            state.SkipWithError("a round trip returned false");
            break;
        }
    }
}

void analyze(benchmark::State& state) {
    const std::vector<char> block = benchhost::makeStatusBlock(4);
    for (auto _ : state) {
        qlx5100_result* result = nullptr;
        if (qlx5100_analyze(block.data(), block.size(), &result) != QLX5100_OK) {
            state.SkipWithError(qlx5100_last_error());
            break;
        }
        benchmark::DoNotOptimize(qlx5100_result_json(result));
        qlx5100_result_free(result);
    }
}

void printTargets(const benchratios::RatioReporter& r) {
    if (!benchratios::printAgainstRoundTrip(r, "capi/analyze", "capi/roundtrip",
                                            "qlx5100_analyze + json + free", 2.0)) {
        return;
    }
    benchratios::Sample trip2{}, capi2{};
    if (r.best("capi/roundtrip", 2, trip2) && r.best("capi/analyze", 2, capi2)) {
        std::printf(
            "two threads (wall time per block): qlx5100_analyze %.2f us, round trip %.2f us = "
            "%.2fx\n",
            capi2.realNs * 1e-3, trip2.realNs * 1e-3, capi2.realNs / trip2.realNs);
    }
}

}  // namespace

int main(int argc, char** argv) {
    // The library's first call loads the modules and puts its sink on the
    // core; the round trip then runs with the same sink turning records away.
    qlx5100_result* first = nullptr;
    if (qlx5100_analyze(benchhost::makeStatusBlock(4).data(), 1024, &first) != QLX5100_OK) {
        std::fprintf(stderr, "bench_capi: %s\n", qlx5100_last_error());
        return 1;
    }
    qlx5100_result_free(first);
    g_analyzer = std::make_unique<benchhost::Analyzer>();
    g_common = std::make_unique<benchhost::CommonModuleReference>();

    if (!benchratios::initialize(argc, argv)) {
        return 1;
    }
    for (int threads : {1, 2}) {
        benchmark::RegisterBenchmark("capi/roundtrip", roundTrip)->Threads(threads)->UseRealTime();
        benchmark::RegisterBenchmark("capi/analyze", analyze)->Threads(threads)->UseRealTime();
    }
    benchratios::RatioReporter reporter(benchmark::CreateDefaultDisplayReporter());
    benchmark::RunSpecifiedBenchmarks(&reporter);
    printTargets(reporter);
    benchmark::Shutdown();
    g_common.reset();
    g_analyzer.reset();
    return 0;
}
