// The hex dump reader on what the real tools print, and on what they do not.
#include "hexdump.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tool_test_support.h"

namespace {

using namespace std::string_literals;
using qlx5100status::HexDumpError;
using qlx5100status::parseHexDump;

std::vector<std::uint8_t> bytesOf(const std::string& s) {
    return std::vector<std::uint8_t>(s.begin(), s.end());
}

// Output of the real tools, checked in (made from all-pinch-rollers.bin), and
// made now from a block of every byte value, whose text columns hold '|', '>',
// blanks and hex letters, with a short last line.
TEST(HexDump, RealToolOutputGivesTheBlockBack) {
    const std::string pinch = tooltest::readFile(tooltest::example("blocks/all-pinch-rollers.bin"));
    for (const char* suffix : {"xxd", "xxd-a", "xxd-p", "od", "odz", "hexdump-C"}) {
        const std::string dump = tooltest::readFile(tooltest::data("all-pinch-rollers."s + suffix));
        EXPECT_EQ(parseHexDump(dump), bytesOf(pinch)) << suffix;
    }
    tooltest::TempDir dir;
    std::string tricky;
    for (int i = 0; i < 1031; ++i) {
        tricky += static_cast<char>(i >= 100 && i < 103 ? 'a' : (i * 7) & 0xFF);  // "aaa": hex?
    }
    tooltest::writeFile(dir.path("tricky.bin"), tricky);
    for (const std::string command : {"xxd", "xxd -a", "xxd -p", "xxd -g8 -u -c8", "od -Ax -tx1",
                                      "od -Ax -tx1z", "hexdump -C"}) {
        const int status =
            tooltest::runShell(command + " " + dir.path("tricky.bin"), dir.path("d"));
        if (status == 127) {
            GTEST_SKIP() << command << " is not installed";
        }
        EXPECT_EQ(status, 0) << command;
        EXPECT_EQ(parseHexDump(tooltest::readFile(dir.path("d"))), bytesOf(tricky)) << command;
    }
}

// A "*" line may not make the reader allocate without bound.
TEST(HexDump, RepeatsStopAtTheSizeLimit) {
    EXPECT_THROW(parseHexDump("000000 00 00\n*\n2000000\n"), HexDumpError);
}

}  // namespace
