// One race per process, so that the record in it is the process's first:
//
//   first_record_race ANALYZER MODULE K
//
// Thread A makes the process's first analyzer call; thread B loads MODULE,
// whose constructor logs while it holds the loader's lock. B starts its load
// when A makes its K-th call of dladdr, dlopen or dlclose (counted by the
// wrappers below, which this program exports so that every module's calls
// come here; dlsym is left alone, the sanitizers' start-up needs it), and
// A's call goes on only once B is inside the constructor. If A holds a lock of Boost.Log's at that
// call, the two wait for each other for ever: the test that runs this program kills it after a
// while. Exit status 0 when both threads finished and the analysis succeeded.
#include <dlfcn.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>
#include <vector>

#include <boost/log/core/core.hpp>

#include "prtorvstatusanalyzerqlx5100/orvstatusanalyzerqlx5100.h"

namespace {

std::atomic<bool> g_loadNow{false};
std::atomic<bool> g_inConstructor{false};
std::atomic<int> g_loaderCallsOfA{0};
int g_raceAt = 0;
thread_local bool t_isA = false;

// The next definition after this program's: libc's (or a sanitizer's).
template <typename Fn>
Fn next(const char* name) {
    return reinterpret_cast<Fn>(dlsym(RTLD_NEXT, name));
}

// Before each loader call of A's: at the K-th, let B load its module and
// wait (a bounded while) until its constructor runs.
void beforeLoaderCall() {
    if (!t_isA || ++g_loaderCallsOfA != g_raceAt) {
        return;
    }
    g_loadNow = true;
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (!g_inConstructor && std::chrono::steady_clock::now() < until) {
        std::this_thread::yield();
    }
}

}  // namespace

#define EXPORTED __attribute__((visibility("default")))

extern "C" {

EXPORTED void orvRaceInConstructor() {
    g_inConstructor = true;
}

EXPORTED int dladdr(const void* address, Dl_info* info) {
    static const auto real = next<int (*)(const void*, Dl_info*)>("dladdr");
    beforeLoaderCall();
    return real(address, info);
}

EXPORTED void* dlopen(const char* file, int mode) {
    static const auto real = next<void* (*)(const char*, int)>("dlopen");
    beforeLoaderCall();
    return real(file, mode);
}

EXPORTED int dlclose(void* handle) {
    static const auto real = next<int (*)(void*)>("dlclose");
    beforeLoaderCall();
    return real(handle);
}

}  // extern "C"

int main(int argc, char** argv) {
    if (argc != 4) {
        return 2;
    }
    g_raceAt = std::atoi(argv[3]);
    // Every record is opened and then rejected (without a sink Boost.Log
    // would print them all); the logger itself is not made here.
    boost::log::core::get()->set_filter(
        [](const boost::log::attribute_value_set&) { return false; });
    void* analyzer = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
    const auto analyse =
        analyzer == nullptr
            ? nullptr
            : reinterpret_cast<OrvStatusAnalyzerQLX5100::PFN_startStatusAnalysis>(
                  dlsym(analyzer, OrvStatusAnalyzerQLX5100::kStartStatusAnalysisName));
    if (analyse == nullptr) {
        return 2;
    }
    bool analysed = false;
    std::thread a([&] {
        t_isA = true;
        std::vector<char> block(OrvStatusAnalyzerQLX5100::kMinimumStatusSize);
        StatusMap map;
        analysed = analyse(block.data(), block.size(), map);
        g_loadNow = true;  // A made fewer than K loader calls
    });
    bool loaded = false;
    std::thread b([&] {
        while (!g_loadNow) {
            std::this_thread::yield();
        }
        loaded = dlopen(argv[2], RTLD_NOW | RTLD_LOCAL) != nullptr;
    });
    a.join();
    b.join();
    return analysed && loaded ? 0 : 1;
}
