#include "host.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <stdexcept>

#include <boost/log/core.hpp>
#include <boost/log/expressions.hpp>
#include <boost/log/sinks/sync_frontend.hpp>
#include <boost/log/sinks/text_ostream_backend.hpp>
#include <boost/log/support/date_time.hpp>
#include <boost/make_shared.hpp>

#include "unitcom/boostloginclude.h"

namespace benchhost {

namespace {

using TextSink = boost::log::sinks::synchronous_sink<boost::log::sinks::text_ostream_backend>;

void* openOrThrow(const char* path) {
    void* handle = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        const char* why = dlerror();
        throw std::runtime_error(std::string("dlopen failed: ") + (why ? why : path));
    }
    return handle;
}

}  // namespace

std::vector<char> makeStatusBlock(int activated) {
    std::vector<char> block(1024, 0);
    const signed char temperatures[] = {25, 60, -5, 120};
    const unsigned char states[] = {1, 0, 3, 255};
    for (int n = 0; n < 4; ++n) {
        block[0x44 + 2 * n] = static_cast<char>(temperatures[n]);
        block[0x45 + 2 * n] = static_cast<char>(states[n]);
    }
    std::memcpy(&block[0x334], "  CUT-A ", 8);
    std::memcpy(&block[0x33C], " 1.0", 4);
    block[0x340] = 16;
    block[0x341] = static_cast<char>(activated);
    for (int i = 0; i < 16; ++i) {
        block[0x342 + i] = static_cast<char>(10 + i);
    }
    block[0x352] = 2;
    block[0x353] = 1;
    block[0x354] = 4;
    block[0x355] = 7;
    block[0x35A] = 0x01;
    block[0x35B] = 0x02;
    block[0x365] = 9;
    return block;
}

void initLogging() {
    RynCmnLog::glob_logger::get();
    rejectAllRecords();
}

void rejectAllRecords() {
    // Never true: every record is opened, shown to the filter and dropped.
    boost::log::core::get()->set_filter(
        boost::log::expressions::attr<RynCmnLog::severity_level>("Severity") > RynCmnLog::fatal);
}

Analyzer::Analyzer() : handle_(openOrThrow(ORV_ANALYZER_PATH)) {
    analyze = reinterpret_cast<OrvStatusAnalyzerQLX5100::PFN_startStatusAnalysis>(
        dlsym(handle_, OrvStatusAnalyzerQLX5100::kStartStatusAnalysisName));
    convert = reinterpret_cast<OrvStatusAnalyzerQLX5100::PFN_startConvertXML>(
        dlsym(handle_, OrvStatusAnalyzerQLX5100::kStartConvertXMLName));
    if (analyze == nullptr || convert == nullptr) {
        dlclose(handle_);
        throw std::runtime_error("analyzer lacks its exports");
    }
}

Analyzer::~Analyzer() {
    dlclose(handle_);
}

bool Analyzer::roundTrip(std::vector<char>& block) const {
    StatusMap map;
    ParamIoXML tree;
    const bool analyzed = analyze(block.data(), block.size(), map);
    const bool converted = convert(map, tree);
    return analyzed && converted;
}

CommonModuleReference::CommonModuleReference() : handle_(openOrThrow(ORV_COMMON_PATH)) {}

std::string CommonModuleReference::fileName() {
    const std::string path = ORV_COMMON_PATH;
    return path.substr(path.find_last_of('/') + 1);
}

CommonModuleReference::~CommonModuleReference() {
    dlclose(handle_);
}

FileSink::FileSink(const std::string& path) : path_(path) {
    namespace expr = boost::log::expressions;
    auto backend = boost::make_shared<boost::log::sinks::text_ostream_backend>();
    backend->add_stream(boost::make_shared<std::ofstream>(path, std::ios::trunc));
    auto sink = boost::make_shared<TextSink>(backend);
    sink->set_formatter(
        expr::stream
        << expr::format_date_time<boost::posix_time::ptime>("TimeStamp", "%Y-%m-%d %H:%M:%S.%f")
        << " [" << expr::attr<boost::log::attributes::current_thread_id::value_type>("ThreadID")
        << "] " << expr::attr<std::string>("Process") << " "
        << expr::attr<RynCmnLog::severity_level>("Severity") << " "
        << expr::attr<std::string>("SrcFile") << ":" << expr::attr<std::string>("SrcLine") << " "
        << expr::attr<std::string>("CurrentFunction") << " " << expr::attr<std::string>("InOutType")
        << " [" << expr::attr<std::string>("messageId") << "] " << expr::smessage);
    auto core = boost::log::core::get();
    core->add_sink(sink);
    core->reset_filter();
    sink_ = sink;
}

FileSink::~FileSink() {
    auto sink = boost::static_pointer_cast<TextSink>(sink_);
    auto core = boost::log::core::get();
    core->remove_sink(sink);
    sink->flush();
    sink_.reset();
    rejectAllRecords();
    std::remove(path_.c_str());
}

std::string logFilePath() {
    const char* dir = std::getenv("TMPDIR");
    return std::string(dir != nullptr && *dir != '\0' ? dir : "/tmp") + "/orv-bench-" +
           std::to_string(getpid()) + ".log";
}

}  // namespace benchhost
