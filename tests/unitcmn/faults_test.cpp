// Machine faults in foreign code, called through the platform's guard, become
// unitCmnException records filled as Windows fills them, on every platform.
#include <stdexcept>
#include <thread>
#include <vector>

#include "fault_module.h"

namespace faults {
namespace {

template <typename T = int>
T* at(std::uintptr_t address) {
    return reinterpret_cast<T*>(address);
}

TEST_F(Faults, AccessViolationsNameTheInstructionTheAddressAndTheAccess) {
    for (const std::uintptr_t address : {0x0, 0x10, 0x18}) {
        for (const bool write : {false, true}) {
            const unitCmnException e =
                translated([&] { write ? writeAt(at(address), 1) : (void)readAt(at(address)); });
            const EXCEPTION_RECORD& r = e.exceptionRecord;
            SCOPED_TRACE(e.info);
            EXPECT_EQ(r.ExceptionCode, EXCEPTION_ACCESS_VIOLATION);
            EXPECT_EQ(r.ExceptionInformation[0], write ? 1u : 0u);
            EXPECT_EQ(r.ExceptionInformation[1], address);
            EXPECT_EQ(e.contextRecord.Rip, reinterpret_cast<std::uintptr_t>(r.ExceptionAddress));
            EXPECT_TRUE(write ? inFunction(r.ExceptionAddress, writeAt)
                              : inFunction(r.ExceptionAddress, readAt));
            EXPECT_EQ(std::string(e.info), "The instruction at " + hex(r.ExceptionAddress) +
                                               " referenced memory at " + hex(at(address)) +
                                               ". The memory could not be " +
                                               (write ? "write." : "read."));
            EXPECT_EQ(e.errorCode, 3u);
            EXPECT_STREQ(e.comment, "");
        }
    }
}

TEST_F(Faults, ArithmeticAndIllegalInstructionGiveTheAddressForm) {
    const unitCmnException divide = translated([] { divideBy(1, 0); });
    const unitCmnException illegal = translated([] { illegalInstruction(); });
    EXPECT_EQ(divide.exceptionRecord.ExceptionCode, EXCEPTION_INT_DIVIDE_BY_ZERO);
    EXPECT_EQ(illegal.exceptionRecord.ExceptionCode, EXCEPTION_ILLEGAL_INSTRUCTION);
    EXPECT_TRUE(inFunction(divide.exceptionRecord.ExceptionAddress, divideBy));
    EXPECT_TRUE(inFunction(illegal.exceptionRecord.ExceptionAddress, illegalInstruction));
    for (const unitCmnException& e : {divide, illegal}) {
        EXPECT_EQ(e.exceptionRecord.NumberParameters, 0u);
        EXPECT_EQ(std::string(e.info), "Address : " + hex(e.exceptionRecord.ExceptionAddress));
    }
}

TEST_F(Faults, CopyMemoryFromUnreadableMemoryThrows) {
    char copy[16] = {};
    const unitCmnException e = translated([&] { CopyMemory(copy, at<char>(0x10), sizeof copy); });
    const EXCEPTION_RECORD& r = e.exceptionRecord;
    EXPECT_EQ(r.ExceptionCode, EXCEPTION_ACCESS_VIOLATION);
    EXPECT_EQ(r.ExceptionInformation[0], 0u);
    EXPECT_TRUE(r.ExceptionInformation[1] >= 0x10 && r.ExceptionInformation[1] < 0x20);
}

// Threads fault at the same time, again and again (so what a fault leaves
// behind, a blocked signal on POSIX, is undone each time), and a guarded call
// that does not fault keeps the thread's last error.
TEST_F(Faults, ThreadsFaultAgainAndAgainAtTheSameTime) {
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([] {
            _set_se_translator(&translateStructuredException);
            for (unsigned i = 0; i < 50; ++i) {
                EXPECT_EQ(translated([&] {
                              readAt(at(0x40 + i));
                          }).exceptionRecord.ExceptionInformation[1],
                          0x40 + i);
                EXPECT_EQ(translated([&] { divideBy(1, 0); }).exceptionRecord.ExceptionCode,
                          EXCEPTION_INT_DIVIDE_BY_ZERO);
            }
            const int value = 42;
            SetLastError(1234);
            EXPECT_EQ(readAt(&value), 42);
            EXPECT_EQ(GetLastError(), 1234u);
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
}

// (g++ on Windows raises C++ exceptions as structured exceptions too.)
TEST_F(Faults, OrdinaryExceptionsAndResultsPassTheGuardUnchanged) {
    EXPECT_THROW(orvplatform::guardedCall([] { throw std::runtime_error("ordinary"); }),
                 std::runtime_error);
    EXPECT_EQ(orvplatform::guardedCall([](int a, int b) { return a * b; }, 6, 7), 42);
}

// Only the module's own exports, functions and data alike: not what it keeps
// to itself, not the C library's malloc that its dependencies export, not a
// name that differs in case or is empty.
TEST_F(Faults, GetProcAddressGivesOnlyTheModulesOwnExports) {
    const struct {
        const char* name;
        bool found;
    } cases[] = {{"readAt", true},         {"writeAt", true},
                 {"divideBy", true},       {"illegalInstruction", true},
                 {"exportedAnswer", true}, {"hiddenHelper", false},
                 {"malloc", false},        {"readat", false},
                 {"readAt2", false},       {"", false}};
    for (const auto& c : cases) {
        EXPECT_EQ(GetProcAddress(faultModule(), c.name) != nullptr, c.found) << c.name;
    }
    const auto answer =
        reinterpret_cast<const int*>(GetProcAddress(faultModule(), "exportedAnswer"));
    ASSERT_NE(answer, nullptr);
    EXPECT_EQ(*answer, 42);
    EXPECT_EQ(divideBy(84, 2), 42);
}

// Outside a guard a fault is not ours: the process ends as without us.
TEST_F(Faults, FaultOutsideAGuardEndsTheProcess) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(readAt.get()(nullptr), "");
}

}  // namespace
}  // namespace faults
