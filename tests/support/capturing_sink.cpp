#include "capturing_sink.h"

#include <boost/log/attributes/value_extraction.hpp>
#include <boost/log/expressions/keyword.hpp>

namespace testsupport {

namespace {

std::string stringValue(const boost::log::attribute_value_set& values, const char* name,
                        bool* present = nullptr) {
    auto it = values.find(name);
    if (present != nullptr) {
        *present = it != values.end();
    }
    if (it == values.end()) {
        return {};
    }
    if (auto v = boost::log::extract<std::string>(it->second)) {
        return *v;
    }
    return {};
}

}  // namespace

void CapturingBackend::consume(const boost::log::record_view& rec) {
    const auto& values = rec.attribute_values();
    CapturedRecord out;
    if (auto sev = boost::log::extract<RynCmnLog::severity_level>("Severity", values)) {
        out.severity = static_cast<int>(*sev);
    }
    out.srcFile = stringValue(values, "SrcFile");
    out.srcLine = stringValue(values, "SrcLine");
    out.currentFunction = stringValue(values, "CurrentFunction");
    out.inOutType = stringValue(values, "InOutType");
    out.messageId = stringValue(values, "messageId", &out.hasMessageId);
    out.message = stringValue(values, "Message");
    out.hasTimeStamp = values.count("TimeStamp") != 0;
    out.hasUtcTimeStamp = values.count("UTCTimeStamp") != 0;
    out.hasProcess = values.count("Process") != 0;
    out.hasThreadId = values.count("ThreadID") != 0;
    std::lock_guard<std::mutex> lock(mutex_);
    records_.push_back(std::move(out));
}

std::vector<CapturedRecord> CapturingBackend::records() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return records_;
}

void CapturingBackend::clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    records_.clear();
}

CapturingSink::CapturingSink()
    : backend_(boost::make_shared<CapturingBackend>()),
      sink_(boost::make_shared<boost::log::sinks::synchronous_sink<CapturingBackend>>(backend_)) {
    boost::log::core::get()->add_sink(sink_);
}

CapturingSink::~CapturingSink() {
    boost::log::core::get()->remove_sink(sink_);
}

std::vector<std::string> CapturingSink::summary() const {
    std::vector<std::string> out;
    for (const auto& r : records()) {
        out.push_back(r.inOutType + (r.message.empty() ? std::string() : " " + r.message));
    }
    return out;
}

}  // namespace testsupport
