#include "ratio_reporter.h"

#include <algorithm>
#include <cstdio>
#include <iterator>

namespace benchratios {

namespace {

std::string keyOf(const std::string& name, long long threads) {
    return name + "@" + std::to_string(threads);
}

}  // namespace

bool printAgainstRoundTrip(const RatioReporter& r, const std::string& name,
                           const std::string& roundTrip, const char* what, double limit) {
    Sample trip{}, measured{};
    if (!r.best(roundTrip, 1, trip) || !r.best(name, 1, measured)) {
        std::printf("\n(%s or %s did not run: no target)\n", roundTrip.c_str(), name.c_str());
        return false;
    }
    const double ratio = measured.cpuNs / trip.cpuNs;
    std::printf(
        "\n%s per block %.2f us CPU = %.2fx the held round trip (%.2f us)   target <= %.2fx  %s\n",
        what, measured.cpuNs * 1e-3, ratio, trip.cpuNs * 1e-3, limit,
        ratio <= limit ? "PASS" : "MISS");
    return true;
}

bool initialize(int argc, char** argv) {
    static char repetitions[] = "--benchmark_repetitions=15";
    static char interleave[] = "--benchmark_enable_random_interleaving=true";
    static char minTime[] = "--benchmark_min_time=0.1";
    std::vector<char*> args(argv, argv + argc);
    args.insert(args.begin() + 1, {repetitions, interleave, minTime});
    int count = static_cast<int>(args.size());
    benchmark::Initialize(&count, args.data());
    return !benchmark::ReportUnrecognizedArguments(count, args.data());
}

bool RatioReporter::ReportContext(const Context& context) {
    return display_->ReportContext(context);
}

void RatioReporter::Finalize() {
    display_->Finalize();
}

void RatioReporter::ReportRuns(const std::vector<Run>& reports) {
    // The display gets the aggregates where there are any; this reporter
    // keeps the repetitions for best().
    std::vector<Run> aggregates;
    std::copy_if(reports.begin(), reports.end(), std::back_inserter(aggregates),
                 [](const Run& run) { return run.run_type == Run::RT_Aggregate; });
    display_->ReportRuns(aggregates.empty() ? reports : aggregates);
    for (const Run& run : reports) {
        // Single repetitions, or their median when only aggregates are shown.
        const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
        if ((run.run_type != Run::RT_Iteration && !median) || run.error_occurred) {
            continue;
        }
        std::string name = run.run_name.function_name;
        if (!run.run_name.args.empty()) {
            name += "/" + run.run_name.args;
        }
        const double toNs = 1e9 / benchmark::GetTimeUnitMultiplier(run.time_unit);
        const Sample sample{run.GetAdjustedRealTime() * toNs, run.GetAdjustedCPUTime() * toNs};
        if (median) {
            medians_[keyOf(name, run.threads)] = sample;
        } else {
            samples_[keyOf(name, run.threads)].push_back(sample);
        }
        counters_[keyOf(name, run.threads)] = run.counters;
    }
}

bool RatioReporter::best(const std::string& name, int threads, Sample& out) const {
    const auto it = samples_.find(keyOf(name, threads));
    if (it == samples_.end() || it->second.empty()) {
        const auto m = medians_.find(keyOf(name, threads));
        if (m == medians_.end()) {
            return false;
        }
        out = m->second;
        return true;
    }
    out = it->second.front();
    for (const Sample& s : it->second) {
        out.realNs = std::min(out.realNs, s.realNs);
        out.cpuNs = std::min(out.cpuNs, s.cpuNs);
    }
    return true;
}

bool RatioReporter::counter(const std::string& name, int threads, const std::string& counter,
                            double& out) const {
    const auto it = counters_.find(keyOf(name, threads));
    if (it == counters_.end()) {
        return false;
    }
    const auto c = it->second.find(counter);
    if (c == it->second.end()) {
        return false;
    }
    out = c->second.value;
    return true;
}

}  // namespace benchratios
