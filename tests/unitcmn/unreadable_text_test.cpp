// The one-parameter fault form reads a text through a pointer nobody vouches
// for. Here the pointers lead to pages that cannot be read, and no signal
// handler exists that could rescue a read that faults.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "unitcmnexceptions/unitcmnexceptions.h"

namespace {

std::string infoFor(const void* parameter) {
    EXCEPTION_RECORD record{};
    record.ExceptionCode = 0xE0434352u;
    record.ExceptionAddress = reinterpret_cast<void*>(0xBEEF);
    record.NumberParameters = 1;
    record.ExceptionInformation[0] = reinterpret_cast<ULONG_PTR>(parameter);
    CONTEXT context{};
    EXCEPTION_POINTERS pointers{&record, &context};
    return unitCmnException(3, &pointers, __FILE__, __LINE__, "").info;
}

TEST(UnreadableText, GivesTheAddressOnlyFormAndReadableTextIsReadToTheEdge) {
    for (int sig : {SIGSEGV, SIGBUS}) {
        struct sigaction current {};
        ASSERT_EQ(sigaction(sig, nullptr, &current), 0);
        ASSERT_EQ(current.sa_handler, SIG_DFL) << "a handler could hide a faulting read";
    }
    // Two readable pages, then one that is not.
    const auto page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    void* mapping =
        mmap(nullptr, 3 * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(mapping, MAP_FAILED);
    char* const base = static_cast<char*>(mapping);
    char* const edge = base + 2 * page;  // the first unreadable byte
    ASSERT_EQ(mprotect(edge, page, PROT_NONE), 0);
    std::memcpy(base + page - 5, "cross the page", sizeof "cross the page");
    std::memcpy(edge - 12, "at the edge", 12);  // its NUL is the last readable byte

    EXPECT_EQ(infoFor(reinterpret_cast<const void*>(0x10)), "Address : 0xBEEF");
    EXPECT_EQ(infoFor(reinterpret_cast<const void*>(0x8000000000000000ull)), "Address : 0xBEEF");
    EXPECT_EQ(infoFor(edge + 100), "Address : 0xBEEF");
    EXPECT_EQ(infoFor(base + page - 5), "Address : 0xBEEF cross the page");
    EXPECT_EQ(infoFor(edge - 12), "Address : 0xBEEF at the edge");
    std::memcpy(edge - 7, "runs on", 7);  // readable to the edge, but no NUL before it
    EXPECT_EQ(infoFor(edge - 7), "Address : 0xBEEF");
    munmap(mapping, 3 * page);
}

}  // namespace
