// Machine faults in foreign code through the platform layer's guard, on
// Windows: the faults are real structured exceptions, raised by the system
// for instructions in a module built without anything of ours.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "orvplatform/win32.h"
#include "unitcmnexceptions/unitcmnexceptions.h"

namespace {

// The fault module, loaded once and never unloaded.
struct FaultModule {
    HMODULE handle = [] {
        const std::string path = std::string(ORV_TEST_MODULE_DIR) + "/faultmodule.dll";
        return LoadLibraryW(std::wstring(path.begin(), path.end()).c_str());
    }();

    template <typename Signature>
    ForeignProc<Signature> proc(const char* name) const {
        return ForeignProc<Signature>(GetProcAddress(handle, name));
    }

    ForeignProc<int(const volatile int*)> readAt = proc<int(const volatile int*)>("readAt");
    ForeignProc<void(volatile int*, int)> writeAt = proc<void(volatile int*, int)>("writeAt");
    ForeignProc<int(int, int)> divideBy = proc<int(int, int)>("divideBy");
    ForeignProc<void()> illegalInstruction = proc<void()>("illegalInstruction");
    ForeignProc<int(const volatile int*)> readWithLocal =
        proc<int(const volatile int*)>("readWithLocal");
    ForeignProc<int()> destructorRuns = proc<int()>("destructorRuns");

    static const FaultModule& get() {
        static const FaultModule module;
        return module;
    }
};

template <typename T>
T* at(std::uintptr_t address) {
    return reinterpret_cast<T*>(address);
}

// Runs f, which must fault, and returns the record the translator threw.
unitCmnException translated(const std::function<void()>& f) {
    try {
        f();
    } catch (unitCmnException& e) {
        return e;
    } catch (...) {
        ADD_FAILURE() << "another exception than unitCmnException";
        return {};
    }
    ADD_FAILURE() << "no fault was reported";
    return {};
}

std::string hex(std::uintptr_t value) {
    char text[32];
    std::snprintf(text, sizeof text, "0x%llX", static_cast<unsigned long long>(value));
    return text;
}

bool inModule(const void* address, HMODULE module) {
    HMODULE found = nullptr;
    return GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                  GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                              static_cast<LPCWSTR>(address), &found) != 0 &&
           found == module;
}

// A committed page that may not be touched, with a readable one before it.
class Pages {
public:
    Pages() {
        SYSTEM_INFO si;
        GetSystemInfo(&si);
        page_ = si.dwPageSize;
        base_ = static_cast<char*>(
            VirtualAlloc(nullptr, 2 * page_, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
        if (base_ != nullptr) {
            std::memset(base_, 0x5A, 2 * page_);
            DWORD old = 0;
            VirtualProtect(base_ + page_, page_, PAGE_NOACCESS, &old);
        }
    }
    ~Pages() {
        if (base_ != nullptr) {
            VirtualFree(base_, 0, MEM_RELEASE);
        }
    }
    Pages(const Pages&) = delete;
    Pages& operator=(const Pages&) = delete;

    char* readable() const { return base_; }
    char* noAccess() const { return base_ + page_; }

private:
    std::size_t page_ = 0;
    char* base_ = nullptr;
};

class Faults : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        ASSERT_NE(FaultModule::get().handle, nullptr);
        // As the analyzer's DllMain does on the thread that loads it.
        _set_se_translator(&translateStructuredException);
    }
    const FaultModule& m = FaultModule::get();
};

struct AccessCase {
    const char* name;
    std::uintptr_t address;
    bool write;
    const char* access;
};

class AccessViolations : public Faults, public ::testing::WithParamInterface<AccessCase> {};

TEST_P(AccessViolations, RecordNamesInstructionAddressAndAccess) {
    const AccessCase& c = GetParam();
    const unitCmnException e = translated(
        [&] { c.write ? m.writeAt(at<int>(c.address), 1) : (void)m.readAt(at<int>(c.address)); });
    const auto ip = reinterpret_cast<std::uintptr_t>(e.exceptionRecord.ExceptionAddress);
    EXPECT_EQ(e.exceptionRecord.ExceptionCode, EXCEPTION_ACCESS_VIOLATION);
    EXPECT_EQ(e.exceptionRecord.ExceptionInformation[0], c.write ? 1u : 0u);
    EXPECT_EQ(e.exceptionRecord.ExceptionInformation[1], c.address);
    EXPECT_EQ(e.contextRecord.Rip, ip);
    EXPECT_TRUE(inModule(e.exceptionRecord.ExceptionAddress, m.handle));
    EXPECT_EQ(std::string(e.info), "The instruction at " + hex(ip) + " referenced memory at " +
                                       hex(c.address) + ". The memory could not be " + c.access +
                                       ".");
    EXPECT_EQ(e.errorCode, 3u);
    EXPECT_STREQ(e.comment, "");
}

INSTANTIATE_TEST_SUITE_P(Windows, AccessViolations,
                         ::testing::Values(AccessCase{"NullRead", 0, false, "read"},
                                           AccessCase{"NullWrite", 0, true, "write"},
                                           AccessCase{"LowRead", 0x10, false, "read"},
                                           AccessCase{"LowWrite", 0x18, true, "write"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(Faults, ArithmeticAndIllegalInstructionGiveTheAddressForm) {
    struct {
        std::function<void()> fault;
        DWORD code;
    } const cases[] = {
        {[&] { m.divideBy(1, 0); }, EXCEPTION_INT_DIVIDE_BY_ZERO},
        {[&] { m.illegalInstruction(); }, EXCEPTION_ILLEGAL_INSTRUCTION},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(hex(c.code));
        const unitCmnException e = translated(c.fault);
        EXPECT_EQ(e.exceptionRecord.ExceptionCode, c.code);
        EXPECT_EQ(e.exceptionRecord.NumberParameters, 0u);
        EXPECT_TRUE(inModule(e.exceptionRecord.ExceptionAddress, m.handle));
        EXPECT_EQ(std::string(e.info), "Address : " + hex(reinterpret_cast<std::uintptr_t>(
                                                          e.exceptionRecord.ExceptionAddress)));
    }
}

TEST_F(Faults, CopyMemoryFromAnUnreadablePageThrows) {
    const Pages pages;
    char copy[16] = {};
    CopyMemory(copy, pages.readable(), sizeof copy);
    EXPECT_EQ(copy[15], 0x5A);

    // The copy starts readable and runs into the page that is not.
    const unitCmnException e =
        translated([&] { CopyMemory(copy, pages.noAccess() - 8, sizeof copy); });
    EXPECT_EQ(e.exceptionRecord.ExceptionCode, EXCEPTION_ACCESS_VIOLATION);
    EXPECT_EQ(e.exceptionRecord.ExceptionInformation[0], 0u);
    EXPECT_GE(e.exceptionRecord.ExceptionInformation[1],
              reinterpret_cast<std::uintptr_t>(pages.noAccess()));
    EXPECT_LT(e.exceptionRecord.ExceptionInformation[1],
              reinterpret_cast<std::uintptr_t>(pages.noAccess()) + 8);
}

// The thread keeps working after any number of faults, and keeps its last
// error across a guarded call that does not fault.
void faultRepeatedly(const FaultModule& m) {
    for (int i = 0; i < 50; ++i) {
        EXPECT_EQ(translated([&] { m.readAt(nullptr); }).exceptionRecord.ExceptionCode,
                  EXCEPTION_ACCESS_VIOLATION);
        EXPECT_EQ(translated([&] { m.divideBy(i, 0); }).exceptionRecord.ExceptionCode,
                  EXCEPTION_INT_DIVIDE_BY_ZERO);
    }
    const int value = 42;
    SetLastError(1234);
    EXPECT_EQ(m.readAt(&value), 42);
    EXPECT_EQ(GetLastError(), 1234u);
}

TEST_F(Faults, SameThreadFaultsAgain) {
    faultRepeatedly(m);
}

// The translator belongs to a thread, as the C runtime's does: a new thread
// starts without one until it sets its own (the analyzer's DllMain does that
// on every thread that starts while it is loaded).
TEST_F(Faults, TranslatorIsPerThread) {
    _se_translator_function onNewThread = &translateStructuredException;
    std::thread([&] {
        onNewThread = _set_se_translator(&translateStructuredException);
        faultRepeatedly(m);
    }).join();
    EXPECT_EQ(onNewThread, nullptr);
    EXPECT_EQ(_set_se_translator(&translateStructuredException), &translateStructuredException);
}

TEST_F(Faults, ManyThreadsFaultAtOnce) {
    std::vector<std::thread> threads;
    std::atomic<int> reported{0};
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            _set_se_translator(&translateStructuredException);
            for (int i = 0; i < 100; ++i) {
                try {
                    m.readAt(at<int>(0x40 + i));
                } catch (unitCmnException& e) {
                    reported += e.exceptionRecord.ExceptionInformation[1] == 0x40u + i ? 1 : 0;
                }
            }
        });
    }
    for (auto& t : threads) {
        t.join();
    }
    EXPECT_EQ(reported.load(), 400);
}

TEST_F(Faults, FramesLeftByTheJumpRunNoDestructors) {
    const int before = m.destructorRuns();
    const int value = 5;
    EXPECT_EQ(m.readWithLocal(&value), 5);
    EXPECT_EQ(m.destructorRuns(), before + 1);
    EXPECT_EQ(translated([&] { m.readWithLocal(nullptr); }).exceptionRecord.ExceptionCode,
              EXCEPTION_ACCESS_VIOLATION);
    EXPECT_EQ(m.destructorRuns(), before + 1);
}

TEST_F(Faults, InnerGuardTakesItsFaultAndTheOuterOneGoesOn) {
    int afterInner = 0;
    const unitCmnException e = translated([&] {
        orvplatform::guardedCall([&] {
            EXPECT_EQ(translated([&] {
                          m.readAt(at<int>(0x20));
                      }).exceptionRecord.ExceptionInformation[1],
                      0x20u);
            afterInner = 1;
            m.readAt(at<int>(0x30));
        });
    });
    EXPECT_EQ(afterInner, 1);
    EXPECT_EQ(e.exceptionRecord.ExceptionInformation[1], 0x30u);
}

// g++ raises C++ exceptions as structured exceptions too: the handler must
// let them pass.
TEST_F(Faults, OrdinaryExceptionsPassTheGuardUnchanged) {
    EXPECT_THROW(orvplatform::guardedCall([] { throw std::runtime_error("ordinary"); }),
                 std::runtime_error);
    EXPECT_EQ(orvplatform::guardedCall([](int a, int b) { return a * b; }, 6, 7), 42);
}

// Software exceptions are not machine faults, even inside a guard: they go
// on to the next handler (here the vectored one that catches them).
LONG CALLBACK swallowSoftwareException(EXCEPTION_POINTERS* pointers) {
    if (pointers->ExceptionRecord->ExceptionCode == 0xE0000001u) {
        return EXCEPTION_CONTINUE_EXECUTION;
    }
    return EXCEPTION_CONTINUE_SEARCH;
}

TEST_F(Faults, RaisedSoftwareExceptionsAreNotTranslated) {
    PVOID handler = AddVectoredExceptionHandler(0, &swallowSoftwareException);
    ASSERT_NE(handler, nullptr);
    EXPECT_NO_THROW(orvplatform::guardedCall([] { RaiseException(0xE0000001u, 0, 0, nullptr); }));
    RemoveVectoredExceptionHandler(handler);
}

using FaultsDeathTest = Faults;

// Outside a guard, or on a thread without a translator, a fault is not ours:
// the process ends as it would without the library.
TEST_F(FaultsDeathTest, FaultsNotOursEndTheProcess) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(
        {
            volatile int* const null = nullptr;
            *null = 1;
        },
        "");
    EXPECT_DEATH(std::thread([&] { m.readAt(nullptr); }).join(), "");
}

}  // namespace
