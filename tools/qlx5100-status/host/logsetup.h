// The host's side of logging: where the analyzer's records go and which of
// them pass. The analyzer only makes records; without a sink of ours,
// Boost.Log would print every record to the console in its default format.
#pragma once

#include <string>

#include "choices.h"

namespace qlx5100status {

enum class LogLevel {
    None,   // no record is made at all
    Error,  // error records (severity 13 and above)
    InOut,  // entry and exit records too (severity 10 and above)
};

// How the command line names each, with its help; in the enumeration's order.
inline constexpr NamedValue<LogLevel> kLogLevels[] = {
    {LogLevel::None, "none", "no record at all"},
    {LogLevel::Error, "error", "error records (the default)"},
    {LogLevel::InOut, "inout", "entry and exit records too"},
};

// Installs one text sink on the Boost.Log core: the given file (appended to)
// or, when logFile is empty, standard error. Creates the process-wide logger
// first, so that it belongs to the tool and not to a module loaded later.
// Throws std::runtime_error when the file cannot be opened.
void setUpLogging(LogLevel level, const std::string& logFile);

// Closes the log file, if there is one; false, with a message, when a record
// could not be written to it.
bool finishLogging();

}  // namespace qlx5100status
