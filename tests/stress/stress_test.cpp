// Many threads through the built analyzer's exports at once, and a long run of
// machine faults inside the common module.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <random>
#include <thread>

#include "analyzer_exports.h"
#include "capturing_sink.h"
#include "common_double.h"
#include "text_forms.h"

namespace {

using testsupport::CapturingSink;

// full in an ordinary build, fewer under sanitizers, or ORV_STRESS_ROUNDS.
unsigned rounds(unsigned full) {
    const char* wanted = std::getenv("ORV_STRESS_ROUNDS");
    const long n = wanted != nullptr ? std::strtol(wanted, nullptr, 10) : 0;
    return n > 0 ? static_cast<unsigned>(n) : std::max(1u, full / ORV_STRESS_ROUNDS_DIVISOR);
}

std::vector<std::uint8_t> makeBlock(std::size_t size, unsigned seed, unsigned activated) {
    std::vector<std::uint8_t> block(size);
    std::minstd_rand random(seed + 1);
    std::generate(block.begin(), block.end(),
                  [&] { return static_cast<std::uint8_t>(random() >> 7); });
    block[0x341] = static_cast<std::uint8_t>(activated);
    return block;
}

// Eight threads call both exports from the very first call of the process:
// they race to create the logger, to load and free the common module, and
// through the logging core. Every map and tree must equal what a lone thread
// gets for the same block afterwards (what the decoding writes is the
// analyzer tests' business), and no record is lost.
TEST(Stress, EightThreadsCallBothExportsFromTheFirstCallOn) {
    constexpr unsigned kThreads = 8;
    const auto analyzer = testsupport::loadExports(ORV_ANALYZER_MODULE);
    CapturingSink sink(CapturingSink::kNone);
    const unsigned calls = rounds(12500);  // of each export on each thread
    // Pinch-roller counts that take the decoding's paths: none, within the
    // table, past it into the following fields, cut at the block's end.
    const unsigned activated[kThreads] = {0, 3, 16, 18, 40, 190, 200, 255};
    std::vector<std::vector<std::uint8_t>> blocks;
    for (unsigned t = 0; t < kThreads; ++t) {
        blocks.push_back(makeBlock(1024 + (t % 3) * 97, t, activated[t]));
    }
    std::atomic<unsigned> ready{0};
    // The first map and tree a thread got.
    std::vector<StatusMap> maps(kThreads);
    std::vector<std::string> trees(kThreads), failures(kThreads);
    std::vector<std::thread> threads;
    for (unsigned t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (ready.fetch_add(1); ready.load() < kThreads;) {
                std::this_thread::yield();
            }
            for (unsigned round = 0; round < calls && failures[t].empty(); ++round) {
                StatusMap map;
                ParamIoXML tree;
                bool ok = analyzer.analyse(reinterpret_cast<char*>(blocks[t].data()),
                                           blocks[t].size(), map);
                maps[t] = round == 0 ? map : maps[t];
                ok = ok && map == maps[t] && analyzer.convert(map, tree);
                trees[t] = round == 0 ? testsupport::treeText(tree) : trees[t];
                if (!ok || testsupport::treeText(tree) != trees[t]) {
                    failures[t] = "round " + std::to_string(round) + ": false, another map or tree";
                }
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(failures, std::vector<std::string>(kThreads));
    // Each call of the two exports and of their model steps: an entry and an exit.
    EXPECT_EQ(sink.count("-->"), kThreads * calls * 4);
    EXPECT_EQ(sink.count("<--"), kThreads * calls * 4);
    EXPECT_EQ(sink.count(" "), 0u);
    for (unsigned t = 0; t < kThreads; ++t) {  // what a lone thread gets
        StatusMap map;
        ParamIoXML tree;
        ASSERT_TRUE(
            analyzer.analyse(reinterpret_cast<char*>(blocks[t].data()), blocks[t].size(), map));
        EXPECT_EQ(maps[t], map);
        ASSERT_TRUE(analyzer.convert(map, tree));
        EXPECT_EQ(trees[t], testsupport::treeText(tree));
    }
}

// A thousand calls on each of two threads whose common module faults on every
// seventh conversion (a read, a write, a division by zero in turn): each call
// ends as a logged false with the fault's record, and the analyzer gives back
// every reference to the module (leaks are LeakSanitizer's, asan preset).
TEST(Stress, TwoThreadsFaultOnEveryCallAndEndAsALoggedFalse) {
    constexpr unsigned kThreads = 2;
    void* common = dlopen(ORV_DOUBLE_FULL, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(common, nullptr) << dlerror();
    auto* state = reinterpret_cast<commondouble::StateFn>(dlsym(common, "orvDoubleState"))();
    *state = {commondouble::Outcome::Succeed, 7, commondouble::Outcome::Cycle, nullptr, 0};
    const auto analyzer = testsupport::loadExports(ORV_ANALYZER_MODULE);
    CapturingSink sink(CapturingSink::kErrors);
    const unsigned calls = rounds(1000);
    std::vector<std::uint8_t> bytes = makeBlock(1024, 7, 3);

    std::atomic<unsigned> unexpectedTrue{0};
    std::vector<std::thread> threads;
    for (unsigned t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, block = bytes]() mutable {
            for (unsigned i = 0; i < calls; ++i) {
                StatusMap map;
                unexpectedTrue +=
                    analyzer.analyse(reinterpret_cast<char*>(block.data()), block.size(), map);
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(unexpectedTrue.load(), 0u);

    // Per call, statusAnalysis logs the fault's record, then
    // startStatusAnalysis "Status analysis error"; "#" stands for digits.
    std::map<std::string, unsigned> errors;
    for (const auto& r : sink.records()) {
        std::string m = r.message;
        for (const std::string at : {"LastErr :0x", "instruction at 0x", "Address : 0x"}) {
            const std::size_t digits = m.find(at) + at.size();
            if (digits >= at.size()) {
                m.replace(digits, m.find_first_not_of("0123456789ABCDEF", digits) - digits, "#");
            }
        }
        ++errors[m];
    }
    const std::string head = "ErrorCode :0x00000003\t\nLastErr :0x#\t\nInfo :";
    const std::string access =
        "The instruction at 0x# referenced memory at 0x10. The memory could not be ";
    EXPECT_EQ(errors, (std::map<std::string, unsigned>{
                          {"Status analysis error", kThreads * calls},
                          {head + access + "read.\nComment :", kThreads * ((calls + 2) / 3)},
                          {head + access + "write.\nComment :", kThreads * ((calls + 1) / 3)},
                          {head + "Address : 0x#\nComment :", kThreads * (calls / 3)}}));
    // Only the test's own reference is left: once it goes, so does the module.
    dlclose(common);
    EXPECT_EQ(dlopen(ORV_DOUBLE_FULL, RTLD_NOW | RTLD_NOLOAD), nullptr)
        << "the analyzer kept a reference to the common module";
}

// The process's first record against a dlopen, on another thread, of a
// module whose constructor logs (first_record_race.cpp): each run lets the
// load start at another of the first call's loader calls and holds that call
// back until the constructor runs, so that a loader call made while a lock of
// Boost.Log's is held hangs both threads every time. A run that has not ended
// after the watchdog's time is killed and named.
TEST(Stress, TheFirstRecordNeverWaitsForAModuleThatLogsWhileItIsLoaded) {
    const unsigned runs = rounds(5);
    constexpr auto kWatchdog = std::chrono::seconds(30);
    for (unsigned run = 0; run < runs; ++run) {
        for (int raceAt = 1; raceAt <= 8; ++raceAt) {
            const std::string at = std::to_string(raceAt);
            char* const argv[] = {
                const_cast<char*>(ORV_RACE_PROGRAM), const_cast<char*>(ORV_ANALYZER_MODULE),
                const_cast<char*>(ORV_LOGGING_MODULE), const_cast<char*>(at.c_str()), nullptr};
            pid_t child = 0;
            ASSERT_EQ(posix_spawn(&child, argv[0], nullptr, nullptr, argv, environ), 0);
            const auto until = std::chrono::steady_clock::now() + kWatchdog;
            int status = 0;
            pid_t done = 0;
            while ((done = waitpid(child, &status, WNOHANG)) == 0 &&
                   std::chrono::steady_clock::now() < until) {
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
            if (done == 0) {
                kill(child, SIGKILL);
                waitpid(child, &status, 0);
                FAIL() << "hung with the load at loader call " << raceAt << " (run " << run << ")";
            }
            ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
                << "loader call " << raceAt << ", status " << status;
        }
    }
}

}  // namespace
