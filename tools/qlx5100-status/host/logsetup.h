// The host's side of logging: where the analyzer's records go and which of
// them pass. The analyzer only makes records; without a sink of ours,
// Boost.Log would print every record to the console in its default format.
#pragma once

#include <string>

#include <boost/log/attributes/attribute_set.hpp>
#include <boost/log/core/record_view.hpp>
#include <boost/log/utility/formatting_ostream.hpp>

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

// A record as the tool's log lines show it, without the time, level and
// thread they start with: "--> Ns::function (file.cpp:42) message", a
// multi-line message joined with " | ".
void writeRecordText(const boost::log::record_view& rec, boost::log::formatting_ostream& out);

// While one lives, the records made on this thread (the analyzer's, while
// it reads the input) carry the input's name, and the tool's log lines show
// it first: "... error [tid] short.bin: Ns::function (file.cpp:42) message".
class LoggedInput {
public:
    explicit LoggedInput(const std::string& name);
    ~LoggedInput();
    LoggedInput(const LoggedInput&) = delete;
    LoggedInput& operator=(const LoggedInput&) = delete;

private:
    boost::log::attribute_set::iterator attribute_;
    bool added_ = false;
};

// Closes the log file, if there is one; false, with a message, when a record
// could not be written to it.
bool finishLogging();

}  // namespace qlx5100status
