// A Boost.Log sink that keeps every record for assertions, installed on the
// process-wide core for the lifetime of the object.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include <boost/log/core.hpp>
#include <boost/log/sinks/basic_sink_backend.hpp>
#include <boost/log/sinks/sync_frontend.hpp>

#include "unitcom/boostloginclude.h"

namespace testsupport {

struct CapturedRecord {
    int severity = -1;
    std::string srcFile;
    std::string srcLine;
    std::string currentFunction;
    std::string inOutType;
    std::string messageId;
    bool hasMessageId = false;
    std::string message;
    // The logger's own: TimeStamp, UTCTimeStamp, Process and ThreadID.
    bool hasLoggerAttributes = false;
};

class CapturingBackend
    : public boost::log::sinks::basic_sink_backend<boost::log::sinks::concurrent_feeding> {
public:
    void consume(const boost::log::record_view& rec);
    std::vector<CapturedRecord> records() const;

private:
    mutable std::mutex mutex_;
    std::vector<CapturedRecord> records_;
};

class CapturingSink {
public:
    CapturingSink();
    ~CapturingSink();
    CapturingSink(const CapturingSink&) = delete;
    CapturingSink& operator=(const CapturingSink&) = delete;

    std::vector<CapturedRecord> records() const { return backend_->records(); }
    // "-->" / " " / "<--" and the message, one string per record.
    std::vector<std::string> summary() const;

private:
    boost::shared_ptr<CapturingBackend> backend_;
    boost::shared_ptr<boost::log::sinks::synchronous_sink<CapturingBackend>> sink_;
};

}  // namespace testsupport
