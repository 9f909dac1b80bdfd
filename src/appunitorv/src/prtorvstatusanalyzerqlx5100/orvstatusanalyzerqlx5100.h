// The analyzer module's two exports, for hosts that load the module at run
// time (dlopen/dlsym, LoadLibrary/GetProcAddress) and call them through the
// pointer types below. No host links the module.
//
// Both functions log an entry record, error records and an exit record
// through RynCmnLog::glob_logger (configure sinks on the Boost.Log core before
// calling), and report every failure, machine faults included, as false. They
// keep no state: any number of threads may call them at once, each with its
// own map and tree. Each call loads the common module
// "prtOrvCommonStatusAnalyzer.dll" (libprtOrvCommonStatusAnalyzer.so on
// POSIX) by name and frees it before returning; a host that keeps its own
// reference to that module saves the repeated load.
#pragma once

#include "unitcmnparamio/paramioxml.h"
#include "unitcom/statusmap.h"

namespace OrvStatusAnalyzerQLX5100 {

extern "C" {

// Decodes a status block of at least 1024 bytes into out: first the common
// module's fields, then the QLX5100 fields (heaters, cutting command, pinch
// rollers, tool status, ...). The block must be readable for size bytes.
// Entries are set at their key and index (created or replaced); nothing is
// removed, also not on failure. Returns true when both steps succeeded.
bool startStatusAnalysis(char* status, unsigned long long size, StatusMap& out);

// Appends the common module's elements, then the QLX5100 elements under
// "DeviceStatus", to tree. Lookups in the map insert empty entries for missing
// keys and indices. Nothing is rolled back on failure. Returns true when both
// steps succeeded.
bool startConvertXML(StatusMap& in, ParamIoXML& tree);

}  // extern "C"

using PFN_startStatusAnalysis = bool (*)(char* status, unsigned long long size, StatusMap& out);
using PFN_startConvertXML = bool (*)(StatusMap& in, ParamIoXML& tree);

constexpr const char kStartStatusAnalysisName[] = "startStatusAnalysis";
constexpr const char kStartConvertXMLName[] = "startConvertXML";

// The smallest status block the analyzer accepts.
constexpr unsigned long long kMinimumStatusSize = 1024;

}  // namespace OrvStatusAnalyzerQLX5100
