#include <gtest/gtest.h>

#include <stdexcept>

#include <boost/log/core.hpp>

#include "capturing_sink.h"
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

int g_evaluations = 0;
std::string countedMessage() {
    ++g_evaluations;
    return "counted";
}

TEST(Logging, EntryErrorExitInOrderWithAttributes) {
    testsupport::CapturingSink sink;
    EXPECT_FALSE(loggedFunction(false));
    const auto recs = sink.records();
    ASSERT_EQ(recs.size(), 3u);
    EXPECT_EQ(recs[0].severity, 10);
    EXPECT_EQ(recs[0].inOutType, "-->");
    EXPECT_EQ(recs[0].message, "");
    EXPECT_EQ(recs[1].severity, 13);
    EXPECT_EQ(recs[1].inOutType, " ");
    EXPECT_EQ(recs[1].message, "it failed");
    EXPECT_EQ(recs[2].severity, 10);
    EXPECT_EQ(recs[2].inOutType, "<--");
    EXPECT_EQ(recs[2].message, "false");
    for (const auto& r : recs) {
        EXPECT_EQ(r.srcFile, "logging_test.cpp");
        EXPECT_TRUE(r.hasMessageId);
        EXPECT_EQ(r.messageId, "");
        EXPECT_TRUE(r.hasTimeStamp && r.hasUtcTimeStamp && r.hasProcess && r.hasThreadId);
    }
    EXPECT_NE(recs[0].currentFunction.find("loggedFunction(bool)"), std::string::npos);
    EXPECT_EQ(recs[0].currentFunction, recs[1].currentFunction);
    // The exit record is written from the scope-exit closure.
    EXPECT_NE(recs[2].currentFunction, recs[0].currentFunction);
    EXPECT_NE(recs[2].currentFunction.find("lambda"), std::string::npos);
}

TEST(Logging, SuccessWritesEntryAndExitTrue) {
    testsupport::CapturingSink sink;
    EXPECT_TRUE(loggedFunction(true));
    EXPECT_EQ(sink.summary(), (std::vector<std::string>{"-->", "<-- true"}));
}

TEST(Logging, DisabledCoreEvaluatesNothing) {
    testsupport::CapturingSink sink;
    boost::log::core::get()->set_logging_enabled(false);
    g_evaluations = 0;
    RYNLOG_ERROR(countedMessage());
    boost::log::core::get()->set_logging_enabled(true);
    EXPECT_EQ(g_evaluations, 0);
    EXPECT_TRUE(sink.records().empty());
    RYNLOG_ERROR(countedMessage());
    EXPECT_EQ(g_evaluations, 1);
}

TEST(Logging, BaseNameCutsAtEitherSeparator) {
    using RynCmnLog::detail::baseName;
    EXPECT_STREQ(baseName("C:\\src\\a\\file.cpp"), "file.cpp");
    EXPECT_STREQ(baseName("/src/a/file.cpp"), "file.cpp");
    EXPECT_STREQ(baseName("file.cpp"), "file.cpp");
    EXPECT_STREQ(baseName("mixed/dir\\file.cpp"), "file.cpp");
}

}  // namespace
