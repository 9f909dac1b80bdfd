// The first logging statement of the process creates the logger. Many threads
// whose first statement logs, all at once, must find one logger between them.
#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <thread>
#include <vector>

#include "capturing_sink.h"
#include "unitcom/boostloginclude.h"

namespace {

TEST(LoggerCreation, ThreadsRacingToLogFirstShareOneLogger) {
    constexpr int kThreads = 16;
    testsupport::CapturingSink sink;  // touches the core only, not the logger
    std::atomic<int> ready{0};
    std::atomic<bool> go{false};
    std::vector<const void*> loggers(kThreads);
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i) {
        threads.emplace_back([&, i] {
            ready.fetch_add(1);
            while (!go.load()) {
                std::this_thread::yield();
            }
            RYNLOG_ENTRY();
            loggers[i] = &RynCmnLog::glob_logger::get();
        });
    }
    while (ready.load() != kThreads) {
        std::this_thread::yield();
    }
    go.store(true);
    for (auto& t : threads) {
        t.join();
    }
    EXPECT_EQ(std::set<const void*>(loggers.begin(), loggers.end()).size(), 1u);
    const auto recs = sink.records();
    ASSERT_EQ(recs.size(), static_cast<std::size_t>(kThreads));
    for (const auto& r : recs) {
        EXPECT_EQ(r.inOutType, "-->");
        EXPECT_TRUE(r.hasTimeStamp && r.hasUtcTimeStamp && r.hasProcess && r.hasThreadId);
    }
}

}  // namespace
