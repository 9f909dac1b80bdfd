#include "hexdump.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tool_test_support.h"

namespace {

using qlx5100status::HexDumpError;
using qlx5100status::looksLikeHexDump;
using qlx5100status::parseHexDump;
using Bytes = std::vector<std::uint8_t>;

// Every byte value, so that the text columns hold '|', '>', blanks and
// letters that are hex digits, and a length that ends in a short line.
Bytes trickyBlock() {
    Bytes b;
    for (int i = 0; i < 1031; ++i) {
        b.push_back(static_cast<std::uint8_t>((i * 7) & 0xFF));
    }
    b[100] = b[101] = b[102] = 'a';  // text column "aaa" reads like hex
    return b;
}

// Output of the real tools, checked in (made from all-pinch-rollers.bin).
TEST(HexDump, CheckedInToolOutputGivesTheBlockBack) {
    const Bytes expected = tooltest::readBytes(tooltest::example("blocks/all-pinch-rollers.bin"));
    for (const char* fixture :
         {"all-pinch-rollers.xxd", "all-pinch-rollers.xxd-a", "all-pinch-rollers.xxd-p",
          "all-pinch-rollers.od", "all-pinch-rollers.odz", "all-pinch-rollers.hexdump-C"}) {
        EXPECT_EQ(parseHexDump(tooltest::readFile(std::string(TEST_DATA_DIR) + "/" + fixture)),
                  expected)
            << fixture;
    }
}

struct Dialect {
    const char* name;
    const char* command;
};

void PrintTo(const Dialect& d, std::ostream* os) {
    *os << d.command;
}

const Dialect kDialects[] = {
    {"xxd", "xxd"},
    {"xxd_autoskip", "xxd -a"},
    {"xxd_plain", "xxd -p"},
    {"xxd_bytes_8_per_line", "xxd -g1 -c8"},
    {"xxd_8_byte_groups_upper", "xxd -g8 -u"},
    {"od", "od -Ax -tx1"},
    {"od_with_text", "od -Ax -tx1z"},
    {"od_no_repeats", "od -v -Ax -tx1"},
    {"hexdump_canonical", "hexdump -C"},
};

// The same tools run now, on blocks whose text columns are hard to tell from
// bytes.
class HexDumpDialect : public testing::TestWithParam<Dialect> {};

TEST_P(HexDumpDialect, OutputMadeNowGivesTheBlockBack) {
    tooltest::TempDir dir;
    const Bytes tricky = trickyBlock();
    tooltest::writeFile(dir.path("tricky.bin"), std::string(tricky.begin(), tricky.end()));
    for (const std::string& input :
         {tooltest::example("blocks/heater-fault.bin"),
          tooltest::example("blocks/text-with-control-bytes.bin"), dir.path("tricky.bin")}) {
        const int status = tooltest::runShell(std::string(GetParam().command) + " '" + input + "'",
                                              dir.path("dump"));
        if (status == 127) {
            GTEST_SKIP() << GetParam().command << " is not installed";
        }
        ASSERT_EQ(status, 0) << GetParam().command;
        EXPECT_EQ(parseHexDump(tooltest::readFile(dir.path("dump"))), tooltest::readBytes(input))
            << GetParam().command << " " << input;
    }
}

INSTANTIATE_TEST_SUITE_P(RealTools, HexDumpDialect, testing::ValuesIn(kDialects),
                         [](const auto& info) { return std::string(info.param.name); });

struct GoodCase {
    const char* name;
    const char* text;
    Bytes bytes;
};

TEST(HexDump, HandWrittenForms) {
    const GoodCase cases[] = {
        {"bare, spaced", "00 01 fe ff\n", {0x00, 0x01, 0xFE, 0xFF}},
        {"bare runs, CRLF, no final newline", "0001\r\nFEff", {0x00, 0x01, 0xFE, 0xFF}},
        {"0x prefixes and commas", "0x00, 0x01,0xFF", {0x00, 0x01, 0xFF}},
        {"comments and blank lines", "# a dump\n\n  00\n\n# end\n", {0x00}},
        {"xxd text column that reads as hex", "00000000: 6162 6364  abcd\n", {'a', 'b', 'c', 'd'}},
        {"hexdump -C short line", "00000000  61 62  |ab|\n00000002\n", {'a', 'b'}},
        {"od repeat up to the closing offset", "000000 01 02\n*\n000006\n", {1, 2, 1, 2, 1, 2}},
    };
    for (const GoodCase& c : cases) {
        EXPECT_EQ(parseHexDump(c.text), c.bytes) << c.name;
    }
}

struct BadCase {
    const char* name;
    const char* text;
    std::size_t line;
    const char* says;
};

TEST(HexDump, ErrorsNameTheLineAndTheProblem) {
    const BadCase cases[] = {
        {"odd digits, bare", "00 01\n00 0\n", 2, "odd number of hex digits in \"0\""},
        {"odd digits, xxd", "00000000: 000\n", 1, "odd number of hex digits"},
        {"junk, bare", "00 01\n0g\n", 2, "\"g\" is not a hex digit"},
        {"junk, od", "000000 00 zz\n", 1, "\"z\" is not a hex digit"},
        {"junk offset", "00000000: 00\nzz: 01\n", 2, "expected a hexadecimal offset"},
        {"repeat without offsets", "00 01\n*\n", 2, "needs a dump with an offset column"},
        {"gap", "000000 00 01\n000010 02\n", 2, "does not follow on"},
        {"not from 0", "000010 00 01\n", 1, "starts at offset 0x10"},
        {"od -tx2 words", "0000000 0100 0302\n", 1, "byte order"},
        {"ragged repeat", "000000 01 02 03\n*\n000007\n", 3, "whole number of 3-byte lines"},
        {"repeat never closed", "000000 01\n*\n", 0, "ends with \"*\""},
        {"nothing", "\n# only a comment\n", 0, "no hex bytes found"},
    };
    for (const BadCase& c : cases) {
        try {
            parseHexDump(c.text);
            ADD_FAILURE() << c.name << ": no error";
        } catch (const HexDumpError& e) {
            EXPECT_EQ(e.line(), c.line) << c.name << ": " << e.what();
            EXPECT_NE(std::string(e.what()).find(c.says), std::string::npos)
                << c.name << ": " << e.what();
            if (c.line != 0) {
                EXPECT_EQ(std::string(e.what()).rfind("line " + std::to_string(c.line) + ": ", 0),
                          0u)
                    << e.what();
            }
        }
    }
}

TEST(HexDump, SizeLimitHoldsForRepeatsAndPlainBytes) {
    EXPECT_THROW(parseHexDump("000000 00 00\n*\nffffffff\n", 64), HexDumpError);
    EXPECT_THROW(parseHexDump(std::string(130, '0'), 64), HexDumpError);
    EXPECT_EQ(parseHexDump(std::string(128, '0'), 64).size(), 64u);
}

TEST(HexDump, DetectionSeparatesTextFromBinary) {
    const Bytes block = tooltest::readBytes(tooltest::example("blocks/normal-operation.bin"));
    EXPECT_FALSE(looksLikeHexDump(std::string(block.begin(), block.end())));
    EXPECT_TRUE(looksLikeHexDump(
        tooltest::readFile(std::string(TEST_DATA_DIR) + "/all-pinch-rollers.xxd")));
    EXPECT_FALSE(looksLikeHexDump(""));
    EXPECT_FALSE(looksLikeHexDump("\n \t\n"));
}

}  // namespace
