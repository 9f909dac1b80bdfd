#include "logsetup.h"

#include <iostream>
#include <stdexcept>

#include <boost/core/null_deleter.hpp>
#include <boost/date_time/posix_time/posix_time.hpp>
#include <boost/log/attributes/constant.hpp>
#include <boost/log/attributes/value_extraction.hpp>
#include <boost/log/core.hpp>
#include <boost/log/sinks/sync_frontend.hpp>
#include <boost/log/sinks/text_ostream_backend.hpp>
#include <boost/log/utility/formatting_ostream.hpp>
#include <boost/make_shared.hpp>

#include "escape.h"
#include "messages.h"
#include "output.h"
#include "unitcom/boostloginclude.h"

namespace qlx5100status {

namespace logging = boost::log;

namespace {

// The attribute LoggedInput adds to the records: the input's name, shown().
constexpr const char* kInputAttribute = "Input";

// The log file, for finishLogging(); the sink holds it too.
boost::shared_ptr<FileStream> logFile_;
std::string logFileName_;

const char* levelName(RynCmnLog::severity_level level) {
    switch (level) {
        case RynCmnLog::inout:
            return "inout";
        case RynCmnLog::error:
            return "error";
        case RynCmnLog::warning:
            return "warn";
        case RynCmnLog::fatal:
            return "fatal";
        default:
            return nullptr;
    }
}

// "bool Ns::name(char*, ...)" and "Ns::name(...)::<lambda()>" both read
// "Ns::name": the signature is long, and in an exit record it names the
// scope-exit closure, which says nothing to a reader.
std::string shortFunction(const std::string& signature) {
    const std::size_t paren = signature.find('(');
    std::string head = signature.substr(0, paren);
    const std::size_t space = head.rfind(' ');
    return space == std::string::npos ? head : head.substr(space + 1);
}

template <typename T>
std::string text(const logging::record_view& rec, const char* name) {
    const auto value = logging::extract<T>(name, rec);
    return value ? *value : std::string();
}

// One line per record:
//   2026-01-05 14:03:07.123456 error [pid:tid] --> Ns::function (file.cpp:42) message
void formatRecord(const logging::record_view& rec, logging::formatting_ostream& out) {
    if (const auto time = logging::extract<boost::posix_time::ptime>("TimeStamp", rec)) {
        const std::string iso = boost::posix_time::to_iso_extended_string(*time);
        out << iso.substr(0, 10) << ' ' << iso.substr(11) << ' ';
    }
    if (const auto severity = logging::extract<RynCmnLog::severity_level>("Severity", rec)) {
        const char* name = levelName(*severity);
        if (name != nullptr) {
            out << name;
        } else {
            out << static_cast<int>(*severity);
        }
    }
    if (const auto thread =
            logging::extract<logging::attributes::current_thread_id::value_type>("ThreadID", rec)) {
        out << " [" << *thread << ']';
    }
    out << ' ';
    if (const auto input = logging::extract<std::string>(kInputAttribute, rec)) {
        out << *input << ": ";
    }
    writeRecordText(rec, out);
}

}  // namespace

void writeRecordText(const logging::record_view& rec, logging::formatting_ostream& out) {
    std::string inOut = text<std::string>(rec, "InOutType");
    out << (inOut == " " || inOut.empty() ? "   " : inOut) << ' '
        << shortFunction(text<std::string>(rec, "CurrentFunction")) << " ("
        << text<std::string>(rec, "SrcFile") << ':' << text<std::string>(rec, "SrcLine") << ')';
    const std::string message = text<std::string>(rec, "Message");
    if (!message.empty()) {
        // Exception texts span several lines; keep one record on one line.
        std::string flat;
        for (const char c : message) {
            if (c == '\n') {
                flat += " | ";
            } else if (c != '\t' && c != '\r') {
                flat += c;
            }
        }
        out << ' ' << flat;
    }
}

void setUpLogging(LogLevel level, const std::string& logFile) {
    RynCmnLog::glob_logger::get();
    auto core = logging::core::get();
    if (level == LogLevel::None) {
        core->set_logging_enabled(false);
        return;
    }

    auto backend = boost::make_shared<logging::sinks::text_ostream_backend>();
    if (logFile.empty()) {
        backend->add_stream(boost::shared_ptr<std::ostream>(&std::clog, boost::null_deleter()));
    } else {
        auto file = boost::make_shared<FileStream>(logFile, "a");
        if (!file->isOpen()) {
            throw std::runtime_error("cannot open the log file " + shown(logFile) + ": " +
                                     reason(file->error()));
        }
        backend->add_stream(file);
        logFile_ = file;
        logFileName_ = shown(logFile);
    }
    backend->auto_flush(true);

    using Sink = logging::sinks::synchronous_sink<logging::sinks::text_ostream_backend>;
    auto sink = boost::make_shared<Sink>(backend);
    sink->set_formatter(&formatRecord);
    const int threshold = level == LogLevel::Error ? RynCmnLog::error : RynCmnLog::inout;
    core->add_sink(sink);
    // On the core rather than the sink: a record the core turns away is not
    // built at all, which matters over thousands of blocks.
    core->set_filter([threshold](const logging::attribute_value_set& values) {
        const auto severity = logging::extract<RynCmnLog::severity_level>("Severity", values);
        return severity && static_cast<int>(*severity) >= threshold;
    });
}

LoggedInput::LoggedInput(const std::string& name) {
    auto added = logging::core::get()->add_thread_attribute(
        kInputAttribute, logging::attributes::constant<std::string>(name));
    attribute_ = added.first;
    added_ = added.second;
}

LoggedInput::~LoggedInput() {
    if (added_) {
        logging::core::get()->remove_thread_attribute(attribute_);
    }
}

bool finishLogging() {
    if (!logFile_) {
        return true;
    }
    // Records made after this point have nowhere to go; without any sink at
    // all Boost.Log would print them to the console.
    logging::core::get()->set_logging_enabled(false);
    const bool ok = logFile_->close();
    if (!ok) {
        printError("the log file " + logFileName_ + ": write error: " + reason(logFile_->error()));
    }
    logFile_.reset();
    return ok;
}

}  // namespace qlx5100status
