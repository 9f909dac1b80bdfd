// What the entry-point tests share: a private copy of the analyzer, the common
// module a test puts in front of it, and the record trace. Linux only: the
// common module is chosen through glibc's rule that dlopen of a bare name
// returns an already loaded object with that soname.
#pragma once

#include "analyzer_exports.h"
#include "capturing_sink.h"
#include "common_double.h"

namespace harness {

// Loaded once from a temporary folder that is gone by the time it runs: its
// run path ($ORIGIN) finds no common module, only one the test loaded first.
const testsupport::Exports& analyzer();

// A common module loaded by path for one test, with its control block (null
// for the shipped module). While it is held, each release of it by the
// analyzer shows among the records as a marker (see trace()).
struct CommonModule {
    explicit CommonModule(const std::string& path);
    ~CommonModule() { release(); }
    // Drops the test's reference; true when the module is then gone, i.e. the
    // analyzer kept no reference of its own.
    bool release();

    void* handle;
    commondouble::State* state = nullptr;
};

bool anyCommonModuleLoaded();

// The records on one line, "; " between them: "start|<InOutType>|<message>"
// for the two entry points, "model|..." for statusAnalysis and convertXML,
// "release" where the analyzer released the module a CommonModule holds. An
// exception record shows as {INFO|COMMENT}, an access violation's INFO as
// "read fault at ADDRESS" or "write fault at ADDRESS".
std::string trace(const std::vector<testsupport::CapturedRecord>& records);

}  // namespace harness
