#include "logforward.h"

#include <atomic>
#include <mutex>
#include <string>

#include <boost/log/attributes/value_extraction.hpp>
#include <boost/log/core.hpp>
#include <boost/log/sinks/basic_sink_backend.hpp>
#include <boost/log/sinks/sync_frontend.hpp>
#include <boost/make_shared.hpp>

#include "logsetup.h"
#include "unitcom/boostloginclude.h"

namespace qlx5100capi {

namespace logging = boost::log;

namespace {

// Recursive: a callback may set another callback (or none) on its own
// thread. Held while a record is delivered, so that once setLogCallback
// returns on another thread the old pair gets nothing more.
std::recursive_mutex callbackMutex;
qlx5100_log_fn callback = nullptr;
void* callbackUser = nullptr;
// Read by the sink's filter for every record the analyzer starts; the lock
// is taken only for records that pass.
std::atomic<bool> forwarding{false};

void deliver(int severity, const char* text) {
    const std::lock_guard<std::recursive_mutex> lock(callbackMutex);
    if (callback != nullptr) {
        callback(callbackUser, severity, text);
    }
}

class CallbackBackend
    : public logging::sinks::basic_formatted_sink_backend<char,
                                                          logging::sinks::synchronized_feeding> {
public:
    void consume(const logging::record_view& rec, const string_type& text) {
        const auto severity = logging::extract<RynCmnLog::severity_level>("Severity", rec);
        // A callback's failure is not the analyzer's: it must not end the
        // call that logged.
        try {
            deliver(severity ? static_cast<int>(*severity) : 0, text.c_str());
        } catch (...) {
        }
    }
};

using CallbackSink = logging::sinks::synchronous_sink<CallbackBackend>;

// The sink stays on the core while the library is loaded; unloading takes it
// off, since the core would otherwise call into unmapped code.
class InstalledSink {
public:
    InstalledSink() : sink_(boost::make_shared<CallbackSink>()) {
        sink_->set_formatter(&qlx5100status::writeRecordText);
        sink_->set_filter([](const logging::attribute_value_set&) {
            return forwarding.load(std::memory_order_acquire);
        });
        logging::core::get()->add_sink(sink_);
    }
    ~InstalledSink() { logging::core::get()->remove_sink(sink_); }
    InstalledSink(const InstalledSink&) = delete;
    InstalledSink& operator=(const InstalledSink&) = delete;

private:
    boost::shared_ptr<CallbackSink> sink_;
};

}  // namespace

void installLogSink() {
    static const InstalledSink sink;
}

void setLogCallback(qlx5100_log_fn fn, void* user) {
    installLogSink();
    const std::lock_guard<std::recursive_mutex> lock(callbackMutex);
    callback = fn;
    callbackUser = user;
    forwarding.store(fn != nullptr, std::memory_order_release);
}

}  // namespace qlx5100capi
