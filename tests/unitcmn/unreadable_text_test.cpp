// The one-parameter fault form reads a text through a pointer nobody vouches
// for. Here the pointers lead to pages that cannot be read, and no signal
// handler exists that could rescue a read that faults.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "preinstalled_handlers.h"
#include "unitcmnexceptions/unitcmnexceptions.h"

namespace {

// One readable page followed by one that is not.
class EdgePages : public ::testing::Test {
protected:
    void SetUp() override {
        if (const int sig = testsupport::kPreinstalledHandlers.firstOwned({SIGSEGV, SIGBUS})) {
            GTEST_SKIP() << strsignal(sig) << ": " << testsupport::kPreinstalledReason;
        }
        for (int sig : {SIGSEGV, SIGBUS}) {
            struct sigaction current {};
            ASSERT_EQ(sigaction(sig, nullptr, &current), 0);
            ASSERT_EQ(current.sa_handler, SIG_DFL) << "a handler could hide a faulting read";
        }
        page_ = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
        void* p =
            mmap(nullptr, 2 * page_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        ASSERT_NE(p, MAP_FAILED);
        base_ = static_cast<char*>(p);
        std::memset(base_, 'r', page_);
        ASSERT_EQ(mprotect(base_ + page_, page_, PROT_NONE), 0);
    }
    void TearDown() override {
        if (base_ != nullptr) {
            munmap(base_, 2 * page_);
        }
    }

    // Puts text so that its last byte is the last readable one.
    const char* atPageEnd(const char* text, std::size_t length) {
        char* start = base_ + page_ - length;
        std::memcpy(start, text, length);
        return start;
    }

    static std::string infoFor(const void* parameter) {
        EXCEPTION_RECORD record{};
        record.ExceptionCode = 0xE0434352u;
        record.ExceptionAddress = reinterpret_cast<void*>(0xBEEF);
        record.NumberParameters = 1;
        record.ExceptionInformation[0] = reinterpret_cast<ULONG_PTR>(parameter);
        CONTEXT context{};
        EXCEPTION_POINTERS pointers{&record, &context};
        return unitCmnException(3, &pointers, __FILE__, __LINE__, "").info;
    }

    std::size_t page_ = 0;
    char* base_ = nullptr;
};

TEST_F(EdgePages, UnreadableParameterGivesTheAddressOnlyForm) {
    EXPECT_EQ(infoFor(reinterpret_cast<const void*>(0x10)), "Address : 0xBEEF");
    EXPECT_EQ(infoFor(base_ + page_), "Address : 0xBEEF");
    EXPECT_EQ(infoFor(base_ + page_ + 100), "Address : 0xBEEF");
    EXPECT_EQ(infoFor(reinterpret_cast<const void*>(0x8000000000000000ull)), "Address : 0xBEEF");
    // Readable up to the edge, but the NUL would lie beyond it.
    EXPECT_EQ(infoFor(atPageEnd("runs on", 7)), "Address : 0xBEEF");
}

TEST_F(EdgePages, TextWhoseNulIsTheLastReadableByteIsRead) {
    EXPECT_EQ(infoFor(atPageEnd("at the edge", sizeof "at the edge")),
              "Address : 0xBEEF at the edge");
}

TEST_F(EdgePages, TextCrossingIntoAReadablePageIsRead) {
    ASSERT_EQ(mprotect(base_ + page_, page_, PROT_READ | PROT_WRITE), 0);
    std::memcpy(base_ + page_, "yyyyy", sizeof "yyyyy");
    EXPECT_EQ(infoFor(base_ + page_ - 5), "Address : 0xBEEF rrrrryyyyy");
}

TEST(LastError, IsTheThreadsErrno) {
    errno = ENOENT;
    EXPECT_EQ(unitCmnException(3, nullptr, __FILE__, __LINE__, "").lastError,
              static_cast<uint32_t>(ENOENT));
    errno = 0;
    EXPECT_EQ(unitCmnException(3, nullptr, __FILE__, __LINE__, "").lastError, 0u);
}

}  // namespace
