#include "capturing_sink.h"

#include <boost/log/attributes/value_extraction.hpp>

namespace testsupport {

void CapturingBackend::consume(const boost::log::record_view& rec) {
    const auto& values = rec.attribute_values();
    const auto text = [&values](const char* name) {
        return boost::log::extract_or_default<std::string>(name, values, std::string());
    };
    CapturedRecord out;
    if (const auto severity = boost::log::extract<RynCmnLog::severity_level>("Severity", values)) {
        out.severity = static_cast<int>(*severity);
    }
    out.srcFile = text("SrcFile");
    out.srcLine = text("SrcLine");
    out.currentFunction = text("CurrentFunction");
    out.inOutType = text("InOutType");
    out.messageId = text("messageId");
    out.hasMessageId = values.count("messageId") != 0;
    out.message = text("Message");
    out.hasLoggerAttributes = values.count("TimeStamp") && values.count("UTCTimeStamp") &&
                              values.count("Process") && values.count("ThreadID");
    std::lock_guard<std::mutex> lock(mutex_);
    records_.push_back(std::move(out));
}

std::vector<CapturedRecord> CapturingBackend::records() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return records_;
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
