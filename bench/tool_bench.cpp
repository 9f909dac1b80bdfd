// The tool's own work per block, for each output format and for --stream,
// against the analyzer's round trip through the exports in the same run
// (see docs/performance.md).
//
//   tool/roundtrip        startStatusAnalysis + startConvertXML as the tool
//                         calls them (common module held), fresh map and tree
//   tool/format:F         one block of a batch in format F: the analysis (and
//                         the conversion where F needs the tree), the expert
//                         checks and the record written to /dev/null
//   tool/stream:F         the same through --stream's reader, a block read
//                         from a file of blocks and the output flushed
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "analysis.h"
#include "logsetup.h"
#include "modules.h"
#include "ratio_reporter.h"
#include "streaminput.h"
#include "writer.h"

namespace qs = qlx5100status;

namespace {

const qs::AnalyzerModules* g_modules = nullptr;
std::vector<std::uint8_t> g_block;
std::string g_blocksFile;

const char* const kFormats[] = {"table", "csv", "tsv", "ndjson", "xml", "json"};

void roundTrip(benchmark::State& state) {
    std::vector<std::uint8_t> block = g_block;
    for (auto _ : state) {
        StatusMap map;
        ParamIoXML tree;
        bool ok = g_modules->analyse(reinterpret_cast<char*>(block.data()), block.size(), map);
        ok = ok && g_modules->convert(map, tree);
        benchmark::DoNotOptimize(ok);
    }
}

void format(benchmark::State& state, const std::string& name) {
    const qs::Format format = *qs::formatNamed(name);
    const qs::FieldSelection all;
    std::ofstream out("/dev/null");
    qs::Analysis analysis(*g_modules, qs::InputFormat::Binary);
    qs::Writer writer(out, format, false, all, true);
    const bool convert = qs::Writer::needsTree(format, false);
    const std::string file = "dump.bin";
    writer.begin();
    for (auto _ : state) {
        analysis.block() = g_block;
        const int code = analysis.analyse(file, convert);
        benchmark::DoNotOptimize(writer.write(analysis.decoded(file, code)));
    }
    writer.end();
}

void stream(benchmark::State& state, const std::string& name) {
    const qs::FieldSelection all;
    std::ofstream out("/dev/null");
    qs::Analysis analysis(*g_modules, qs::InputFormat::Binary);
    qs::Writer writer(out, *qs::formatNamed(name), false, all, true);
    auto in = std::make_unique<qs::BlockStream>(g_blocksFile, 1024);
    unsigned long long n = 0;
    writer.begin();
    for (auto _ : state) {
        if (in->next(analysis.block()) != qs::BlockStream::Got::Block) {
            state.PauseTiming();
            in = std::make_unique<qs::BlockStream>(g_blocksFile, 1024);
            in->next(analysis.block());
            state.ResumeTiming();
        }
        const std::string block = in->name() + "#" + std::to_string(++n);
        const int code = analysis.analyse(block, false);
        benchmark::DoNotOptimize(writer.write(analysis.decoded(block, code)));
        out.flush();
    }
    writer.end();
}

void printTargets(const benchratios::RatioReporter& r) {
    benchratios::printAgainstRoundTrip(r, "tool/stream:ndjson", "tool/roundtrip",
                                       "--stream -f ndjson", 1.5);
}

}  // namespace

int main(int argc, char** argv) {
    std::ifstream in(EXAMPLE_BLOCK, std::ios::binary);
    g_block.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    g_blocksFile = (std::filesystem::temp_directory_path() /
                    ("bench_tool-" + std::to_string(getpid()) + ".bin"))
                       .string();
    {
        std::ofstream blocks(g_blocksFile, std::ios::binary);
        for (int i = 0; i < 4096; ++i) {
            blocks.write(reinterpret_cast<const char*>(g_block.data()),
                         static_cast<std::streamsize>(g_block.size()));
        }
    }
    qs::setUpLogging(qs::LogLevel::Error, "");
    const qs::AnalyzerModules modules(qs::ModulePaths{"", ""});
    g_modules = &modules;

    benchmark::RegisterBenchmark("tool/roundtrip", roundTrip);
    for (const char* f : kFormats) {
        benchmark::RegisterBenchmark((std::string("tool/format:") + f).c_str(), format,
                                     std::string(f));
    }
    for (const char* f : {"ndjson", "csv", "table"}) {
        benchmark::RegisterBenchmark((std::string("tool/stream:") + f).c_str(), stream,
                                     std::string(f));
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchratios::RatioReporter reporter(benchmark::CreateDefaultDisplayReporter());
    benchmark::RunSpecifiedBenchmarks(&reporter);
    printTargets(reporter);
    benchmark::Shutdown();
    std::remove(g_blocksFile.c_str());
    return 0;
}
