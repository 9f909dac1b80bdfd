// Records written by another module reach the host's sinks through the one
// Boost.Log core and the one process-wide logger.
#include <gtest/gtest.h>

#include <string>

#include "capturing_sink.h"
#include "orvplatform/win32.h"
#include "unitcom/boostloginclude.h"

namespace {

// Loaded once and kept: records and attribute values made in the module
// refer to its code, so it stays for the life of the process, as the host
// keeps the analyzer while it logs.
HMODULE logModule() {
    static const HMODULE module = [] {
        const std::string path = std::string(ORV_TEST_MODULE_DIR) + "/logmodule.dll";
        return LoadLibraryW(std::wstring(path.begin(), path.end()).c_str());
    }();
    return module;
}

TEST(LoggingAcrossModules, ModuleRecordsReachTheHostSinkWithTheirAttributes) {
    // The host logs first: the logger it created is the one the module finds.
    const void* hostLogger = &RynCmnLog::glob_logger::get();
    ASSERT_NE(logModule(), nullptr);
    const ForeignProc<bool(bool)> logFromModule(GetProcAddress(logModule(), "logFromModule"));
    const ForeignProc<const void*()> moduleLogger(GetProcAddress(logModule(), "moduleLogger"));
    ASSERT_TRUE(logFromModule && moduleLogger);

    testsupport::CapturingSink sink;
    EXPECT_FALSE(logFromModule(false));
    EXPECT_TRUE(logFromModule(true));

    EXPECT_EQ(moduleLogger(), hostLogger);
    EXPECT_EQ(sink.summary(), (std::vector<std::string>{"-->", "  module step failed", "<-- false",
                                                        "-->", "<-- true"}));
    const auto recs = sink.records();
    ASSERT_EQ(recs.size(), 5u);
    const int severities[] = {10, 13, 10, 10, 10};
    for (std::size_t i = 0; i < recs.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(recs[i].severity, severities[i]);
        EXPECT_EQ(recs[i].srcFile, "logmodule.cpp");
        EXPECT_FALSE(recs[i].srcLine.empty());
        EXPECT_NE(recs[i].currentFunction.find("logFromModule"), std::string::npos);
        EXPECT_TRUE(recs[i].hasMessageId);
        EXPECT_EQ(recs[i].messageId, "");
        EXPECT_TRUE(recs[i].hasTimeStamp && recs[i].hasUtcTimeStamp && recs[i].hasProcess &&
                    recs[i].hasThreadId);
    }
}

}  // namespace
