// The logging statements: records in order with their attributes, nothing
// evaluated while logging is disabled, and records from another module
// reaching the host's sink through the one core and the one logger.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <boost/log/core.hpp>

#include "capturing_sink.h"
#include "orvplatform/win32.h"
#include "unitcom/boostloginclude.h"

namespace {

bool loggedFunction(bool result) {
    RYNLOG_ENTRY();
    if (!result) {
        RYNLOG_ERROR("it failed");
    }
    BOOST_SCOPE_EXIT_ALL(&) {
        RYNLOG_EXIT(result);
    };
    return result;
}

TEST(Logging, EntryErrorExitInOrderWithAttributes) {
    testsupport::CapturingSink sink;
    EXPECT_FALSE(loggedFunction(false));
    EXPECT_EQ(sink.summary(), (std::vector<std::string>{"-->", "  it failed", "<-- false"}));
    const auto recs = sink.records();
    ASSERT_EQ(recs.size(), 3u);
    for (const auto& r : recs) {
        EXPECT_EQ(r.severity, &r == &recs[1] ? 13 : 10);
        EXPECT_EQ(r.srcFile, "logging_test.cpp");
        EXPECT_TRUE(r.hasMessageId && r.messageId.empty() && r.hasLoggerAttributes);
    }
    EXPECT_NE(recs[0].currentFunction.find("loggedFunction(bool)"), std::string::npos);
    EXPECT_EQ(recs[0].currentFunction, recs[1].currentFunction);
    // The exit record is written from the scope-exit closure.
    EXPECT_NE(recs[2].currentFunction, recs[0].currentFunction);
    EXPECT_NE(recs[2].currentFunction.find("lambda"), std::string::npos);
}

int g_evaluations = 0;
std::string countedMessage() {
    ++g_evaluations;
    return "counted";
}

TEST(Logging, DisabledCoreEvaluatesNothing) {
    testsupport::CapturingSink sink;
    boost::log::core::get()->set_logging_enabled(false);
    RYNLOG_ERROR(countedMessage());
    boost::log::core::get()->set_logging_enabled(true);
    EXPECT_EQ(g_evaluations, 0);
    EXPECT_TRUE(sink.records().empty());
    RYNLOG_ERROR(countedMessage());
    EXPECT_EQ(g_evaluations, 1);
}

TEST(Logging, ModuleRecordsReachTheHostSinkThroughTheHostsLogger) {
    // The host logs first: the logger it created is the one the module finds.
    const void* hostLogger = &RynCmnLog::glob_logger::get();
    // Kept loaded: records made in the module refer to its code.
    const std::string path = std::string(ORV_TEST_MODULE_DIR) + "/logmodule.dll";
    const HMODULE module = LoadLibraryW(std::wstring(path.begin(), path.end()).c_str());
    ASSERT_NE(module, nullptr);
    const ForeignProc<bool(bool)> logFromModule(GetProcAddress(module, "logFromModule"));
    const ForeignProc<const void*()> moduleLogger(GetProcAddress(module, "moduleLogger"));
    ASSERT_TRUE(logFromModule && moduleLogger);

    testsupport::CapturingSink sink;
    EXPECT_FALSE(logFromModule(false));
    EXPECT_EQ(moduleLogger(), hostLogger);
    EXPECT_EQ(sink.summary(),
              (std::vector<std::string>{"-->", "  module step failed", "<-- false"}));
    for (const auto& r : sink.records()) {
        EXPECT_EQ(r.srcFile, "logmodule.cpp");
        EXPECT_NE(r.currentFunction.find("logFromModule"), std::string::npos);
        EXPECT_TRUE(r.hasMessageId && r.hasLoggerAttributes);
    }
}

}  // namespace
