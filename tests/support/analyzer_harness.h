// What the entry-point tests share: the analyzer under test, the common
// module a test puts in front of it, status blocks that end at an unreadable
// page, and the record trace.
//
// Linux only: the common module is chosen through glibc's rule that dlopen of
// a bare name returns an already loaded object with that soname.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "capturing_sink.h"
#include "common_double.h"
#include "prtorvstatusanalyzerqlx5100/orvstatusanalyzerqlx5100.h"

namespace harness {

// The entry points of a private copy of the analyzer, loaded once per
// process from a temporary directory that is gone by the time the copy runs:
// its run path ($ORIGIN) finds no common module, so the only one it can load
// is one that the test loaded first.
OrvStatusAnalyzerQLX5100::PFN_startStatusAnalysis startStatusAnalysis();
OrvStatusAnalyzerQLX5100::PFN_startConvertXML startConvertXML();

// A common module loaded by absolute path for one test, holding the test's
// own reference. While it lives, every release of it by the analyzer shows in
// the record stream as a marker record (see trace()).
class CommonModule {
public:
    explicit CommonModule(const std::string& path);
    ~CommonModule();
    CommonModule(const CommonModule&) = delete;
    CommonModule& operator=(const CommonModule&) = delete;

    // The stand-ins' control block; null for the shipped module.
    commondouble::State* state() const { return state_; }

    // Drops the test's reference. True when the module is then gone from the
    // process, i.e. the analyzer kept no reference of its own.
    bool releaseAndCheckUnloaded();

private:
    void* handle_ = nullptr;
    commondouble::State* state_ = nullptr;
};

// True when any object with the common module's soname is in the process.
bool anyCommonModuleLoaded();

// size zero bytes whose last byte is the last one before a PROT_NONE page:
// reading at or past size faults.
class GuardedBlock {
public:
    explicit GuardedBlock(std::size_t size);
    ~GuardedBlock();
    GuardedBlock(const GuardedBlock&) = delete;
    GuardedBlock& operator=(const GuardedBlock&) = delete;

    char* data() const { return data_; }
    std::size_t size() const { return size_; }
    void set(std::size_t offset, const std::string& bytes);

private:
    char* base_ = nullptr;
    std::size_t length_ = 0;
    char* data_ = nullptr;
    std::size_t size_ = 0;
};

// One text per record: "start|<InOutType>|<message>" for the two entry
// points, "model|..." for their model steps statusAnalysis and convertXML,
// and "release" where the analyzer released the module a CommonModule holds.
std::vector<std::string> trace(const std::vector<testsupport::CapturedRecord>& records);

}  // namespace harness
