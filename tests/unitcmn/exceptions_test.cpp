// unitCmnException records: their text form, their bounds and the fault
// descriptions built from hand-made exception pointers.
#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>
#include <type_traits>

#include "unitcmnexceptions/unitcmnexceptions.h"

namespace {

using namespace orvplatform::win32;

static_assert(!std::is_base_of_v<std::exception, unitCmnException>,
              "a record must pass by catch (std::exception&)");

// As the handlers at a function boundary make them: catch (...), and
// catch (std::exception&) with its what() as the comment.
TEST(UnitCmnException, TextHasFourLinesAndTextsAreCutToTheirFields) {
    SetLastError(0x2A);
    EXPECT_EQ(unitCmnException(3, nullptr, __FILE__, __LINE__, "").getErrorText(),
              "ErrorCode :0x00000003\t\nLastErr :0x0000002A\t\nInfo :\nComment :");
    SetLastError(0);
    const std::runtime_error error("bad lexical cast");
    EXPECT_EQ(unitCmnException(3, nullptr, __FILE__, __LINE__, error.what()).getErrorText(),
              "ErrorCode :0x00000003\t\nLastErr :0x00000000\t\nInfo :\nComment :bad lexical cast");
    const std::string text(3000, 't');  // longer than the fields: cut, not overflowing
    const unitCmnException e(3, nullptr, text.c_str(), 7, text.c_str());
    EXPECT_EQ(std::string(e.comment) + e.fileName, text.substr(0, 1023) + text.substr(0, 259));
}

// Records as a fault handler hands them over: the code, the instruction's
// address and the parameters (the fault tests make the common ones).
TEST(UnitCmnException, FaultInfoDescribesTheFaultAsWindowsWould) {
    const std::string longText(3000, 't');
    const std::string at = "The instruction at 0x7FF6ABCD12EF referenced memory at ";
    const std::string addressOnly = "Address : 0x7FF6ABCD12EF";
    const struct {
        DWORD code;
        DWORD count;
        ULONG_PTR params[3];
        std::string info;
    } cases[] = {
        {0xC0000005u, 2, {1, 0xDEADBEEF0, 0}, at + "0xDEADBEEF0. The memory could not be write."},
        {0xC0000006u,
         3,
         {0, 0x10000, 0xC000009C},
         at + "0x10000. The required data was not placed into memory because of an I/O error "
              "status of 0xC000009C."},
        // One parameter: the text it points to, if it can be read.
        {0xE06D7363u, 1, {reinterpret_cast<ULONG_PTR>("disk full")}, addressOnly + " disk full"},
        {0xE06D7363u,
         1,
         {reinterpret_cast<ULONG_PTR>(longText.c_str())},
         addressOnly + " " + longText.substr(0, 1023 - 25)},
        {0xE06D7363u, 1, {0x10}, addressOnly},
        {0xE06D7363u, 1, {0x8000000000000000ull}, addressOnly},
        {0xE06D7363u, 3, {reinterpret_cast<ULONG_PTR>("disk full"), 1, 2}, addressOnly},
    };
    for (const auto& c : cases) {
        EXCEPTION_RECORD record{};  // every byte zero, padding too: compared whole below
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
