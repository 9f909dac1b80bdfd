#include "analyzer_harness.h"

#include <dlfcn.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <stdexcept>

#include <boost/log/sources/logger.hpp>
#include <boost/log/sources/record_ostream.hpp>

#include "temp_dir.h"

namespace {

constexpr const char kSoname[] = "libprtOrvCommonStatusAnalyzer.so";
constexpr const char kReleaseMarker[] = "[common module released]";

void* g_watched = nullptr;

using CloseFn = int (*)(void*);

CloseFn realClose() {
    static const CloseFn fn = reinterpret_cast<CloseFn>(dlsym(RTLD_NEXT, "dlclose"));
    return fn;
}

void* analyzer() {
    static void* const handle = [] {
        // The logger is created by whoever logs first; let that be us, so the
        // analyzer does not pin itself.
        RynCmnLog::glob_logger::get();
        const testsupport::TempDir dir;
        const std::string copy = dir.path("libprtOrvStatusAnalyzerQLX5100.so");
        std::filesystem::copy_file(ORV_ANALYZER_MODULE, copy);
        void* loaded = dlopen(copy.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (loaded == nullptr) {
            throw std::runtime_error(std::string("cannot load the analyzer: ") + dlerror());
        }
        return loaded;
    }();
    return handle;
}

}  // namespace

// Interposes the analyzer's dlclose (the executable exports this symbol, and
// its definitions come first in symbol lookup), so that each release of the
// watched module takes its place in the record stream between the records.
extern "C" __attribute__((visibility("default"))) int dlclose(void* handle) noexcept {
    if (g_watched != nullptr && handle == g_watched) {
        static boost::log::sources::logger_mt marker;
        BOOST_LOG(marker) << kReleaseMarker;
    }
    return realClose()(handle);
}

namespace harness {

OrvStatusAnalyzerQLX5100::PFN_startStatusAnalysis startStatusAnalysis() {
    return reinterpret_cast<OrvStatusAnalyzerQLX5100::PFN_startStatusAnalysis>(
        dlsym(analyzer(), OrvStatusAnalyzerQLX5100::kStartStatusAnalysisName));
}

OrvStatusAnalyzerQLX5100::PFN_startConvertXML startConvertXML() {
    return reinterpret_cast<OrvStatusAnalyzerQLX5100::PFN_startConvertXML>(
        dlsym(analyzer(), OrvStatusAnalyzerQLX5100::kStartConvertXMLName));
}

CommonModule::CommonModule(const std::string& path) {
    handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle_ == nullptr) {
        throw std::runtime_error(dlerror());
    }
    if (auto stateFn =
            reinterpret_cast<commondouble::StateFn>(dlsym(handle_, commondouble::kStateFnName))) {
        state_ = stateFn();
    }
    g_watched = handle_;
}

CommonModule::~CommonModule() {
    if (handle_ != nullptr) {
        releaseAndCheckUnloaded();
    }
}

bool CommonModule::releaseAndCheckUnloaded() {
    g_watched = nullptr;
    state_ = nullptr;
    realClose()(handle_);
    handle_ = nullptr;
    return !anyCommonModuleLoaded();
}

bool anyCommonModuleLoaded() {
    void* handle = dlopen(kSoname, RTLD_LAZY | RTLD_NOLOAD);
    if (handle != nullptr) {
        realClose()(handle);
    }
    return handle != nullptr;
}

GuardedBlock::GuardedBlock(std::size_t size) : size_(size) {
    const auto page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    const std::size_t readable = (size + page - 1) / page * page;
    length_ = readable + page;
    void* base = mmap(nullptr, length_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (base == MAP_FAILED || mprotect(static_cast<char*>(base) + readable, page, PROT_NONE) != 0) {
        throw std::runtime_error("cannot map a guarded block");
    }
    base_ = static_cast<char*>(base);
    data_ = base_ + readable - size;
}

GuardedBlock::~GuardedBlock() {
    munmap(base_, length_);
}

void GuardedBlock::set(std::size_t offset, const std::string& bytes) {
    if (offset + bytes.size() > size_) {
        throw std::out_of_range("patch outside the block");
    }
    std::memcpy(data_ + offset, bytes.data(), bytes.size());
}

std::vector<std::string> trace(const std::vector<testsupport::CapturedRecord>& records) {
    std::vector<std::string> out;
    for (const auto& r : records) {
        if (r.inOutType.empty() && r.message == kReleaseMarker) {
            out.emplace_back("release");
            continue;
        }
        const auto& fn = r.currentFunction;
        const auto has = [&fn](const char* name) { return fn.find(name) != std::string::npos; };
        const char* who = has("startStatusAnalysis(") || has("startConvertXML(") ? "start"
                          : has("statusAnalysis(") || has("convertXML(")         ? "model"
                                                                                 : "?";
        out.push_back(std::string(who) + "|" + r.inOutType + "|" + r.message);
    }
    return out;
}

}  // namespace harness
