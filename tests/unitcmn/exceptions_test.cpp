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
    EXPECT_EQ(e.lastError, 0x2Au);
    EXPECT_STREQ(e.fileName, __FILE__);
    EXPECT_EQ(e.filled, 1u);
    const unitCmnException fresh;
    EXPECT_EQ(fresh.getErrorText(),
              "ErrorCode :0x00000003\t\nLastErr :0x00000000\t\nInfo :\nComment :");
}

TEST(UnitCmnException, StdExceptionWhatBecomesTheComment) {
    try {
        try {
            throw std::runtime_error("bad lexical cast");
        } catch (std::exception& ex) {
            throw unitCmnException(3, nullptr, __FILE__, __LINE__, ex.what());
        }
    } catch (std::exception&) {
        ADD_FAILURE() << "caught as std::exception";
    } catch (unitCmnException& e) {
        const std::string text = e.getErrorText();
        EXPECT_EQ(text.substr(text.rfind('\n')), "\nComment :bad lexical cast");
        EXPECT_EQ(e.info[0], '\0');
    }
}

struct BoundCase {
    const char* name;
    std::size_t length;       // of both texts given
    std::size_t keptComment;  // of 1023 at most
    std::size_t keptFile;     // of 259 at most
};

class FieldBounds : public ::testing::TestWithParam<BoundCase> {};

TEST_P(FieldBounds, CommentAndFileAreCutToTheirFields) {
    const BoundCase& c = GetParam();
    const std::string comment(c.length, 'c');
    const std::string file(c.length, 'f');
    const unitCmnException e(3, nullptr, file.c_str(), 7, comment.c_str());
    EXPECT_EQ(std::string(e.comment), std::string(c.keptComment, 'c'));
    EXPECT_EQ(std::string(e.fileName), std::string(c.keptFile, 'f'));
    EXPECT_EQ(e.lineNo, 7u);
}

INSTANTIATE_TEST_SUITE_P(Lengths, FieldBounds,
                         ::testing::Values(BoundCase{"Empty", 0, 0, 0},
                                           BoundCase{"Short", 12, 12, 12},
                                           BoundCase{"PathFits", 259, 259, 259},
                                           BoundCase{"PathOver", 260, 260, 259},
                                           BoundCase{"CommentFits", 1023, 1023, 259},
                                           BoundCase{"CommentOver", 1024, 1023, 259},
                                           BoundCase{"FarOver", 100000, 1023, 259}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(UnitCmnException, NullTextsAreEmpty) {
    const unitCmnException e(3, nullptr, nullptr, 1, nullptr);
    EXPECT_STREQ(e.fileName, "");
    EXPECT_STREQ(e.comment, "");
}

// A record as a fault handler hands it over: the code, the instruction's
// address and the parameters.
struct InfoCase {
    const char* name;
    DWORD code;
    std::uintptr_t address;
    DWORD count;
    ULONG_PTR params[3];
    const char* info;
};

const char kDiskText[] = "disk full";

class FaultInfo : public ::testing::TestWithParam<InfoCase> {};

TEST_P(FaultInfo, DescribesTheFaultAsWindowsWould) {
    const InfoCase& c = GetParam();
    EXCEPTION_RECORD record{};
    record.ExceptionCode = c.code;
    record.ExceptionAddress = reinterpret_cast<void*>(c.address);
    record.NumberParameters = c.count;
    std::memcpy(record.ExceptionInformation, c.params, sizeof c.params);
    CONTEXT context{};
    context.Rip = c.address;
    EXCEPTION_POINTERS pointers{&record, &context};

    const unitCmnException e(3, &pointers, __FILE__, __LINE__, "");
    EXPECT_STREQ(e.info, c.info);
    EXPECT_EQ(std::memcmp(&e.exceptionRecord, &record, sizeof record), 0);
    EXPECT_EQ(e.contextRecord.Rip, c.address);
    EXPECT_EQ(e.getErrorText().substr(0, 22), "ErrorCode :0x00000003\t");
}

INSTANTIATE_TEST_SUITE_P(
    Codes, FaultInfo,
    ::testing::Values(
        InfoCase{"AccessViolationRead",
                 0xC0000005u,
                 0x7FF6ABCD12EF,
                 2,
                 {0, 0, 0},
                 "The instruction at 0x7FF6ABCD12EF referenced memory at 0x0. The memory could not "
                 "be read."},
        InfoCase{"AccessViolationWrite",
                 0xC0000005u,
                 0x401A2B,
                 2,
                 {1, 0xDEADBEEF0, 0},
                 "The instruction at 0x401A2B referenced memory at 0xDEADBEEF0. The memory could "
                 "not be write."},
        InfoCase{"InPageError",
                 0xC0000006u,
                 0xABC,
                 3,
                 {0, 0x10000, 0xC000009C},
                 "The instruction at 0xABC referenced memory at 0x10000. The required data was not "
                 "placed into "
                 "memory because of an I/O error status of 0xC000009C."},
        InfoCase{"OtherCodeNoParameters", 0xC0000094u, 0x1F00, 0, {0, 0, 0}, "Address : 0x1F00"},
        InfoCase{"OtherCodeTextParameter",
                 0xE06D7363u,
                 0xFACE,
                 1,
                 {reinterpret_cast<ULONG_PTR>(kDiskText), 0, 0},
                 "Address : 0xFACE disk full"},
        InfoCase{"OtherCodeSmallIntegerParameter",
                 0xE06D7363u,
                 0xFACE,
                 1,
                 {0x10, 0, 0},
                 "Address : 0xFACE"},
        InfoCase{"OtherCodeNullParameter", 0xE06D7363u, 0xFACE, 1, {0, 0, 0}, "Address : 0xFACE"},
        InfoCase{"OtherCodeThreeParameters",
                 0xE06D7363u,
                 0xFACE,
                 3,
                 {reinterpret_cast<ULONG_PTR>(kDiskText), 1, 2},
                 "Address : 0xFACE"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(UnitCmnException, LongParameterTextIsCutToTheInfoField) {
    const std::string text(3000, 't');
    EXCEPTION_RECORD record{};
    record.ExceptionCode = 0x20000001u;
    record.ExceptionAddress = reinterpret_cast<void*>(0x1234);
    record.NumberParameters = 1;
    record.ExceptionInformation[0] = reinterpret_cast<ULONG_PTR>(text.c_str());
    CONTEXT context{};
    EXCEPTION_POINTERS pointers{&record, &context};
    const unitCmnException e(3, &pointers, __FILE__, __LINE__, "");
    const std::string prefix = "Address : 0x1234 ";
    EXPECT_EQ(std::string(e.info), prefix + text.substr(0, 1023 - prefix.size()));
}

TEST(UnitCmnException, TranslatorThrowsARecordOfItsOwn) {
    EXCEPTION_RECORD record{};
    record.ExceptionCode = 0xC0000005u;
    record.ExceptionAddress = reinterpret_cast<void*>(0x10);
    record.NumberParameters = 2;
    record.ExceptionInformation[0] = 1;
    record.ExceptionInformation[1] = 0x20;
    CONTEXT context{};
    context.Rip = 0x10;
    EXCEPTION_POINTERS pointers{&record, &context};
    try {
        translateStructuredException(0, &pointers);
        ADD_FAILURE() << "the translator returned";
    } catch (unitCmnException& e) {
        EXPECT_EQ(e.errorCode, 3u);
        EXPECT_STREQ(e.comment, "");
        EXPECT_STREQ(
            e.info,
            "The instruction at 0x10 referenced memory at 0x20. The memory could not be write.");
        EXPECT_NE(std::string(e.fileName).find("unitcmnexceptions"), std::string::npos);
        EXPECT_NE(e.lineNo, 0u);
    }
}

}  // namespace
