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
    std::vector<std::string> attributeOrder;  // names of the record's own (per-record) values
    bool hasTimeStamp = false;
    bool hasUtcTimeStamp = false;
    bool hasProcess = false;
    bool hasThreadId = false;
};

class CapturingBackend
    : public boost::log::sinks::basic_sink_backend<boost::log::sinks::concurrent_feeding> {
public:
    void consume(const boost::log::record_view& rec);

    std::vector<CapturedRecord> records() const;
    void clear();

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
    void clear() { backend_->clear(); }

    // "-->" / " " / "<--" and the message, one string per record; compact for
    // comparing whole sequences.
    std::vector<std::string> summary() const;

private:
    boost::shared_ptr<CapturingBackend> backend_;
    boost::shared_ptr<boost::log::sinks::synchronous_sink<CapturingBackend>> sink_;
};

}  // namespace testsupport
