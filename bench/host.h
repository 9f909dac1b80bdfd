// What the benchmarks share: a host that loads the analyzer the way an
// application does (dlopen by path, dlsym of the two exports), the status
// blocks it feeds it, and the two logging set-ups that are measured.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include <boost/shared_ptr.hpp>

#include "prtorvstatusanalyzerqlx5100/orvstatusanalyzerqlx5100.h"

namespace benchhost {

// A 1024-byte status block with plausible heater, cutting-command and status
// bytes, whose "ActivatedPinchRoller" byte says `activated` (0 ... 190; 190
// settings reach the block's last byte).
std::vector<char> makeStatusBlock(int activated);

// Creates the process-wide logger before any module of ours is loaded (the
// module that creates it would otherwise stay loaded for good), then lets the
// core's filter reject every record.
void initLogging();

// Every record is rejected by the core's filter: the cheapest configuration
// in which the records are still opened.
void rejectAllRecords();

// The analyzer module, loaded by its build path for the whole process.
class Analyzer {
public:
    Analyzer();
    ~Analyzer();
    Analyzer(const Analyzer&) = delete;
    Analyzer& operator=(const Analyzer&) = delete;

    // One host round trip on fresh objects: startStatusAnalysis into a new
    // map, startConvertXML of that map into a new tree. Returns false when
    // either export did.
    bool roundTrip(std::vector<char>& block) const;

    OrvStatusAnalyzerQLX5100::PFN_startStatusAnalysis analyze = nullptr;
    OrvStatusAnalyzerQLX5100::PFN_startConvertXML convert = nullptr;

private:
    void* handle_ = nullptr;
};

// The host's own reference to the common module: while one is held, the
// analyzer's per-call loads only count references instead of mapping and
// unmapping the module.
class CommonModuleReference {
public:
    CommonModuleReference();
    ~CommonModuleReference();
    CommonModuleReference(const CommonModuleReference&) = delete;
    CommonModuleReference& operator=(const CommonModuleReference&) = delete;

    // The module's file name without its directory, as the analyzer's loads
    // name it.
    static std::string fileName();

private:
    void* handle_ = nullptr;
};

// A text file sink that formats every record with its attributes, installed
// on the core (which then accepts every record) for the object's lifetime;
// the file is removed afterwards.
class FileSink {
public:
    explicit FileSink(const std::string& path);
    ~FileSink();
    FileSink(const FileSink&) = delete;
    FileSink& operator=(const FileSink&) = delete;

private:
    std::string path_;
    boost::shared_ptr<void> sink_;
};

// Where the sink writes: $TMPDIR (or /tmp)/orv-bench-<pid>.log.
std::string logFilePath();

}  // namespace benchhost
