// What the stress tests share: the built analyzer loaded as a host loads it,
// status blocks, the number of rounds for this build, and a sink that counts
// records by kind without keeping them.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include <boost/log/sinks/basic_sink_backend.hpp>
#include <boost/log/sinks/unlocked_frontend.hpp>

#include "prtorvstatusanalyzerqlx5100/orvstatusanalyzerqlx5100.h"

namespace stress {

struct Analyzer {
    OrvStatusAnalyzerQLX5100::PFN_startStatusAnalysis startStatusAnalysis = nullptr;
    OrvStatusAnalyzerQLX5100::PFN_startConvertXML startConvertXML = nullptr;
};

// Loads the built analyzer by path (it stays loaded). Loading logs nothing,
// so the logger does not exist afterwards unless someone else logged.
Analyzer loadAnalyzer();

// full rounds in an ordinary build, fewer under sanitizers, or the number in
// ORV_STRESS_ROUNDS.
unsigned rounds(unsigned full);

// size bytes of pseudo-random content (from seed) with the activated pinch
// roller count set to activated.
std::vector<std::uint8_t> makeBlock(std::size_t size, unsigned seed, std::uint8_t activated);

// Counts the records it sees by kind, from any number of threads, without a
// lock (the unlocked frontend leaves serialisation to the backend).
class RecordCounter
    : public boost::log::sinks::basic_sink_backend<boost::log::sinks::concurrent_feeding> {
public:
    void consume(const boost::log::record_view& rec);

    std::atomic<std::size_t> entries{0};
    std::atomic<std::size_t> exits{0};
    std::atomic<std::size_t> errors{0};
    std::atomic<std::size_t> other{0};
};

// Installs a RecordCounter on the core (not on the logger: the logger is not
// created by this) for its lifetime.
class CountingSink {
public:
    CountingSink();
    ~CountingSink();
    CountingSink(const CountingSink&) = delete;
    CountingSink& operator=(const CountingSink&) = delete;

    const RecordCounter& counts() const { return *backend_; }

private:
    boost::shared_ptr<RecordCounter> backend_;
    boost::shared_ptr<boost::log::sinks::unlocked_sink<RecordCounter>> sink_;
};

}  // namespace stress
