// unitCmnException records: their text form, their bounds and the fault
// descriptions built from hand-made exception pointers. No signal handler and
// no translator is installed in this binary.
#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>
#include <string>
#include <type_traits>

#include "unitcmnexceptions/unitcmnexceptions.h"

namespace {

static_assert(!std::is_base_of_v<std::exception, unitCmnException>,
              "a record must pass by catch (std::exception&)");

TEST(UnitCmnException, CatchAllRecordHasFourLinesWithEmptyInfoAndComment) {
    SetLastError(0x2A);
    const unitCmnException e(3, nullptr, __FILE__, __LINE__, "");
    EXPECT_EQ(e.getErrorText(),
              "ErrorCode :0x00000003\t\nLastErr :0x0000002A\t\nInfo :\nComment :");
}

// As a catch (std::exception&) at a function boundary makes it.
TEST(UnitCmnException, StdExceptionWhatBecomesTheComment) {
    SetLastError(0);
    const std::runtime_error error("bad lexical cast");
    EXPECT_EQ(unitCmnException(3, nullptr, __FILE__, __LINE__, error.what()).getErrorText(),
              "ErrorCode :0x00000003\t\nLastErr :0x00000000\t\nInfo :\nComment :bad lexical cast");
}

TEST(UnitCmnException, TextsAreCutToTheirFields) {
    for (const std::size_t length : {12, 260, 1024}) {
        const std::string comment(length, 'c');
        const std::string file(length, 'f');
        const unitCmnException e(3, nullptr, file.c_str(), 7, comment.c_str());
        EXPECT_EQ(std::string(e.comment), comment.substr(0, 1023));
        EXPECT_EQ(std::string(e.fileName), file.substr(0, 259));
    }
}

// Records as a fault handler hands them over: the code, the instruction's
// address and the parameters.
TEST(UnitCmnException, FaultInfoDescribesTheFaultAsWindowsWould) {
    const std::string longText(3000, 't');
    const std::string at = "The instruction at 0x7FF6ABCD12EF referenced memory at ";
    const struct {
        DWORD code;
        DWORD count;
        ULONG_PTR params[3];
        std::string info;
    } cases[] = {
        {0xC0000005u, 2, {0, 0, 0}, at + "0x0. The memory could not be read."},
        {0xC0000005u, 2, {1, 0xDEADBEEF0, 0}, at + "0xDEADBEEF0. The memory could not be write."},
        {0xC0000006u,
         3,
         {0, 0x10000, 0xC000009C},
         at + "0x10000. The required data was not placed into memory because of an I/O error "
              "status of 0xC000009C."},
        {0xC0000094u, 0, {0, 0, 0}, "Address : 0x7FF6ABCD12EF"},
        {0xE06D7363u,
         1,
         {reinterpret_cast<ULONG_PTR>("disk full")},
         "Address : 0x7FF6ABCD12EF disk full"},
        {0xE06D7363u,
         1,
         {reinterpret_cast<ULONG_PTR>(longText.c_str())},
         "Address : 0x7FF6ABCD12EF " + longText.substr(0, 1023 - 25)},
        {0xE06D7363u,
         3,
         {reinterpret_cast<ULONG_PTR>("disk full"), 1, 2},
         "Address : 0x7FF6ABCD12EF"},
    };
    for (const auto& c : cases) {
        EXCEPTION_RECORD record{};
        record.ExceptionCode = c.code;
        record.ExceptionAddress = reinterpret_cast<void*>(0x7FF6ABCD12EF);
        record.NumberParameters = c.count;
        std::memcpy(record.ExceptionInformation, c.params, sizeof c.params);
        CONTEXT context{};
        context.Rip = 0x7FF6ABCD12EF;
        EXCEPTION_POINTERS pointers{&record, &context};
        const unitCmnException e(3, &pointers, __FILE__, __LINE__, "");
        EXPECT_EQ(e.info, c.info);
        EXPECT_EQ(std::memcmp(&e.exceptionRecord, &record, sizeof record), 0);
        EXPECT_EQ(e.contextRecord.Rip, context.Rip);
    }
}

}  // namespace
