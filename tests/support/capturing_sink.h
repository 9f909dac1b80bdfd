// A Boost.Log sink on the process-wide core for the object's lifetime. It
// counts every record by "InOutType" and keeps all of them, only the errors
// (filtered before a record is made), or none.
#pragma once

#include <map>
#include <mutex>
#include <string>
#include <vector>

#include <boost/log/attributes/value_extraction.hpp>
#include <boost/log/core.hpp>
#include <boost/log/expressions.hpp>
#include <boost/log/sinks/basic_sink_backend.hpp>
#include <boost/log/sinks/sync_frontend.hpp>

#include "unitcom/boostloginclude.h"

namespace testsupport {

struct CapturedRecord {
    int severity = -1;
    std::string srcFile, currentFunction, inOutType, messageId, message;
    bool hasMessageId = false, hasLoggerAttributes = false;  // TimeStamp, Process, ...
};

class CapturingSink {
public:
    enum Keep { kAll, kErrors, kNone };

    explicit CapturingSink(Keep keep = kAll) {
        backend_->keep = keep != kNone;
        if (keep == kErrors) {
            sink_->set_filter(boost::log::expressions::attr<RynCmnLog::severity_level>(
                                  "Severity") == RynCmnLog::error);
        }
        boost::log::core::get()->add_sink(sink_);
    }
    ~CapturingSink() { boost::log::core::get()->remove_sink(sink_); }

    std::vector<CapturedRecord> records() const {
        std::lock_guard<std::mutex> lock(backend_->mutex);
        return backend_->records;
    }
    std::vector<CapturedRecord> take() {  // the sink forgets them
        std::vector<CapturedRecord> out;
        std::lock_guard<std::mutex> lock(backend_->mutex);
        out.swap(backend_->records);
        return out;
    }
    std::size_t count(const std::string& inOutType) const {
        std::lock_guard<std::mutex> lock(backend_->mutex);
        return backend_->counts[inOutType];
    }

private:
    struct Backend : boost::log::sinks::basic_sink_backend<boost::log::sinks::concurrent_feeding> {
        void consume(const boost::log::record_view& rec) {
            const auto& v = rec.attribute_values();
            const auto text = [&v](const char* name) {
                return boost::log::extract_or_default<std::string>(name, v, std::string());
            };
            CapturedRecord r;
            r.inOutType = text("InOutType");
            if (keep) {
                const auto severity = boost::log::extract<RynCmnLog::severity_level>("Severity", v);
                r = {severity ? static_cast<int>(*severity) : -1,
                     text("SrcFile"),
                     text("CurrentFunction"),
                     r.inOutType,
                     text("messageId"),
                     text("Message"),
                     v.count("messageId") != 0,
                     v.count("TimeStamp") && v.count("UTCTimeStamp") && v.count("Process") &&
                         v.count("ThreadID")};
            }
            std::lock_guard<std::mutex> lock(mutex);
            ++counts[r.inOutType];
            if (keep) {
                records.push_back(std::move(r));
            }
        }
        bool keep = true;
        mutable std::mutex mutex;
        mutable std::map<std::string, std::size_t> counts;
        std::vector<CapturedRecord> records;
    };

    boost::shared_ptr<Backend> backend_ = boost::make_shared<Backend>();
    boost::shared_ptr<boost::log::sinks::synchronous_sink<Backend>> sink_ =
        boost::make_shared<boost::log::sinks::synchronous_sink<Backend>>(backend_);
};

}  // namespace testsupport
