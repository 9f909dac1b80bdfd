// Wraps the display reporter that the command line chose (console, with or
// without colour, JSON, CSV) and keeps a copy of every run it is given, so that
// the binary can compare benchmarks with each other at the end of the run.
#pragma once

#include <map>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

namespace benchratios {

// Google Benchmark's command line with the project's defaults in front, which
// any --benchmark_* option given overrides: fifteen repetitions for at least
// 0.1 s, in random order across benchmarks (a burst of load on a shared
// machine then spreads over all of them instead of hitting one). The display
// shows the aggregates; the reporter keeps every repetition. False when the
// command line has an option that is not Google Benchmark's.
bool initialize(int argc, char** argv);

// Per-iteration times of one repetition, in nanoseconds. For a run on k
// threads Google Benchmark divides the wall time by the iterations of all k
// threads (so perfect scaling halves it on two threads) and sums the threads'
// CPU time before dividing.
struct Sample {
    double realNs;
    double cpuNs;
};

class RatioReporter;

// One line: "<what> per block X us CPU = Rx the held round trip (T us)
// target <= Lx  PASS|MISS", from the fastest one-thread repetitions of
// `name` and `roundTrip`; a note instead when either did not run (then false).
bool printAgainstRoundTrip(const RatioReporter& r, const std::string& name,
                           const std::string& roundTrip, const char* what, double limit);

class RatioReporter : public benchmark::BenchmarkReporter {
public:
    // display: not owned; must outlive this reporter.
    explicit RatioReporter(benchmark::BenchmarkReporter* display) : display_(display) {}

    bool ReportContext(const Context& context) override;
    void ReportRuns(const std::vector<Run>& reports) override;
    void Finalize() override;

    // The fastest repetition of the benchmark registered as `name` (with its
    // arguments, e.g. "roundtrip/held/pinch:0") run on `threads` threads,
    // real and CPU time each on their own. On a shared machine load from
    // elsewhere only ever adds time, and in bursts: a median of a few
    // repetitions swings with it (one-thread ratios from 1.04x to 2.36x within
    // minutes, the same binary), the fastest hardly moves. Google Benchmark's
    // median when only aggregates were reported; false when there is no such
    // run (filtered out or failed).
    bool best(const std::string& name, int threads, Sample& out) const;

    // A user counter of that benchmark's last repetition; false when absent.
    bool counter(const std::string& name, int threads, const std::string& counter,
                 double& out) const;

private:
    benchmark::BenchmarkReporter* display_;
    std::map<std::string, std::vector<Sample>> samples_;
    std::map<std::string, Sample> medians_;
    std::map<std::string, benchmark::UserCounters> counters_;
};

}  // namespace benchratios
