#include "analyzer_harness.h"

#include <regex.h>

#include <filesystem>

#include <boost/log/sources/logger.hpp>

#include "temp_dir.h"

namespace {

constexpr const char kReleaseMarker[] = "[common module released]";
void* g_watched = nullptr;

int realClose(void* handle) {
    static const auto fn = reinterpret_cast<int (*)(void*)>(dlsym(RTLD_NEXT, "dlclose"));
    return fn(handle);
}

}  // namespace

// The analyzer's dlclose: the executable exports it, and its definitions come
// first in symbol lookup.
extern "C" __attribute__((visibility("default"))) int dlclose(void* handle) noexcept {
    if (g_watched != nullptr && handle == g_watched) {
        static boost::log::sources::logger_mt marker;
        BOOST_LOG(marker) << kReleaseMarker;
    }
    return realClose(handle);
}

namespace harness {

const testsupport::Exports& analyzer() {
    static const testsupport::Exports exports = [] {
        const testsupport::TempDir dir;
        const std::string copy = dir.path("libprtOrvStatusAnalyzerQLX5100.so");
        std::filesystem::copy_file(ORV_ANALYZER_MODULE, copy);
        // The logger's library belongs to the analyzer: it goes along.
        std::filesystem::copy_file(ORV_LOGGER_LIBRARY,
                                   dir.path(std::filesystem::path(ORV_LOGGER_LIBRARY).filename()));
        return testsupport::loadExports(copy);
    }();
    return exports;
}

CommonModule::CommonModule(const std::string& path)
    : handle(dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL)) {
    if (handle == nullptr) {
        throw std::runtime_error(dlerror());
    }
    if (auto fn = reinterpret_cast<commondouble::StateFn>(dlsym(handle, "orvDoubleState"))) {
        state = fn();
    }
    g_watched = handle;
}

bool CommonModule::release() {
    if (handle != nullptr) {
        g_watched = state = nullptr;
        realClose(handle);
        handle = nullptr;
    }
    return !anyCommonModuleLoaded();
}

bool anyCommonModuleLoaded() {
    void* handle = dlopen("libprtOrvCommonStatusAnalyzer.so", RTLD_LAZY | RTLD_NOLOAD);
    return handle != nullptr && realClose(handle) == 0;
}

std::string trace(const std::vector<testsupport::CapturedRecord>& records) {
    regex_t re;
    regcomp(&re,
            "^ErrorCode :0x00000003\t\nLastErr :0x[0-9A-F]{8}\t\nInfo :(The instruction at "
            "0x[0-9A-F]+ referenced memory at (0x[0-9A-F]+)\\. The memory could not be "
            "(read|write)\\.)?"
            "(.*)\nComment :(.*)$",
            REG_EXTENDED);
    std::string out;
    for (const auto& r : records) {
        const auto has = [&r](const char* name) {
            return r.currentFunction.find(name) != std::string::npos;
        };
        regmatch_t m[6];
        const auto group = [&](int i) {
            return r.message.substr(m[i].rm_so, m[i].rm_eo - m[i].rm_so);
        };
        out += out.empty() ? "" : "; ";
        out += r.message == kReleaseMarker                              ? "release"
               : has("startStatusAnalysis(") || has("startConvertXML(") ? "start|"
               : has("statusAnalysis(") || has("convertXML(")           ? "model|"
                                                                        : "?|";
        if (r.message != kReleaseMarker) {
            out += r.inOutType + "|" +
                   (regexec(&re, r.message.c_str(), 6, m, 0) != 0
                        ? r.message
                        : "{" + (m[1].rm_so < 0 ? group(4) : group(3) + " fault at " + group(2)) +
                              "|" + group(5) + "}");
        }
    }
    regfree(&re);
    return out;
}

}  // namespace harness
