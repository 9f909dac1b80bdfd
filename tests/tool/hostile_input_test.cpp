// Inputs a user should not give the tool, through the built program: each
// ends with one clear message naming the input and the input error's exit
// code (3), writes nothing to standard output, and never hangs. Tests run as
// root, so unreadable inputs are ones that fail for root too: a path through
// a regular file, a symbolic link loop, a file whose reads fail
// (/proc/self/mem at offset 0), and a FIFO whose writer goes away.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "tool_test_support.h"

namespace {

using tooltest::runTool;

constexpr int kInputError = 3;

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

std::string normalBlock() {
    return tooltest::readFile(tooltest::example("blocks/normal-operation.bin"));
}

// A block of any size as xxd -p would dump it.
std::string bareHex(const std::string& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        out += digits[b >> 4];
        out += digits[b & 0xF];
        if (i % 30 == 29) {
            out += '\n';
        }
    }
    return out + "\n";
}

struct HostileCase {
    const char* name;
    // Makes the input in dir and returns its path.
    std::string (*make)(const tooltest::TempDir& dir);
    std::vector<std::string> options;
    std::string says;  // in the message; "{}" stands for the path
};

const HostileCase kCases[] = {
    {"EmptyFile",
     [](const tooltest::TempDir& d) {
         tooltest::writeFile(d.path("empty.bin"), "");
         return d.path("empty.bin");
     },
     {},
     "qlx5100-status: {}: the status block is 0 bytes; the analyzer needs at least 1024"},
    {"HexDumpOf1023Bytes",
     [](const tooltest::TempDir& d) {
         tooltest::writeFile(d.path("short.hex"), bareHex(normalBlock().substr(0, 1023)));
         return d.path("short.hex");
     },
     {},
     "qlx5100-status: {}: the status block is 1023 bytes"},
    {"HugeFile",
     [](const tooltest::TempDir& d) {
         // Sparse: 65 MiB of zeros that take no disk space.
         const std::string path = d.path("huge.bin");
         tooltest::writeFile(path, "");
         EXPECT_EQ(truncate(path.c_str(), 65 * 1024 * 1024), 0);
         return path;
     },
     {},
     "qlx5100-status: {}: larger than 67108864 bytes; not a status block"},
    {"HexDumpRepeatingPastTheLimit",
     [](const tooltest::TempDir& d) {
         tooltest::writeFile(d.path("repeat.od"), "000000 00 01\n*\n4000000000\n");
         return d.path("repeat.od");
     },
     {},
     "qlx5100-status: {}: not a hex dump we can read: line 3: offset 0x4000000000 is beyond the "
     "16777216-byte "
     "limit"},
    {"OddDigitCount",
     [](const tooltest::TempDir& d) {
         tooltest::writeFile(d.path("odd.hex"), "00 01 02\n0304 5\n");
         return d.path("odd.hex");
     },
     {},
     "qlx5100-status: {}: not a hex dump we can read: line 2: column 6: odd number of hex digits "
     "in \"5\""},
    {"JunkInAHexDump",
     [](const tooltest::TempDir& d) {
         tooltest::writeFile(d.path("junk.hex"), "00000000: 0001 0g03  ....\n");
         return d.path("junk.hex");
     },
     {},
     "qlx5100-status: {}: not a hex dump we can read: line 1: column 17: \"g\" is not a hex digit "
     "(in \"0g03\")"},
    {"TextThatIsNoDump",
     [](const tooltest::TempDir& d) {
         tooltest::writeFile(d.path("notes.txt"), "Status of the cutter, Monday\n");
         return d.path("notes.txt");
     },
     {},
     "qlx5100-status: {}: not a hex dump we can read: line 1: expected a hexadecimal offset, "
     "found \"Status\" (use --input-format binary if it is a binary block)"},
    {"BinaryReadAsHex",
     [](const tooltest::TempDir& d) {
         tooltest::writeFile(d.path("block.bin"), normalBlock());
         return d.path("block.bin");
     },
     {"--input-format", "hex"},
     "qlx5100-status: {}: not a hex dump we can read: line 1: "},
    {"PathThroughAFile",
     [](const tooltest::TempDir& d) {
         tooltest::writeFile(d.path("file"), normalBlock());
         return d.path("file") + "/block.bin";
     },
     {},
     "qlx5100-status: {}: Not a directory"},
    {"SymbolicLinkLoop",
     [](const tooltest::TempDir& d) {
         EXPECT_EQ(symlink("loop", d.path("loop").c_str()), 0);
         return d.path("loop");
     },
     {},
     "qlx5100-status: {}: Too many levels of symbolic links"},
    {"ReadsFail",
     [](const tooltest::TempDir&) { return std::string("/proc/self/mem"); },
     {},
     "qlx5100-status: {}: read error: Input/output error"},
    {"EmptyDirectory",
     [](const tooltest::TempDir& d) {
         mkdir(d.path("blocks").c_str(), 0755);
         return d.path("blocks");
     },
     {},
     "qlx5100-status: no files to read in {}"},
};

void PrintTo(const HostileCase& c, std::ostream* os) {
    *os << c.name;
}

class HostileInput : public ::testing::TestWithParam<HostileCase> {};

TEST_P(HostileInput, EndsWithOneClearMessageAndTheInputErrorCode) {
    const HostileCase& c = GetParam();
    tooltest::TempDir dir;
    const std::string path = c.make(dir);
    std::vector<std::string> args = c.options;
    args.push_back(path);
    const auto r = runTool(args);
    EXPECT_EQ(r.code, kInputError) << r.err;
    EXPECT_EQ(r.out, "");
    std::string says = c.says;
    says.replace(says.find("{}"), 2, path);
    EXPECT_TRUE(contains(r.err, says)) << r.err;
}

INSTANTIATE_TEST_SUITE_P(Cases, HostileInput, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

// Opens fifo for writing as soon as a reader has it open, writes content
// and closes; gives up after a while, so that a reader that never comes
// cannot hang the test.
std::thread writeToFifo(const std::string& fifo, std::string content) {
    return std::thread([fifo, content] {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        int fd = -1;
        while ((fd = open(fifo.c_str(), O_WRONLY | O_NONBLOCK)) < 0 && errno == ENXIO &&
               std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        if (fd >= 0) {
            fcntl(fd, F_SETFL, 0);
            if (!content.empty()) {
                (void)!write(fd, content.data(), content.size());
            }
            close(fd);
        }
    });
}

// A FIFO is a file the tool must read like any other (process substitution
// hands it one): a writer that goes away without a word ends as an empty
// input, one that writes a dump is read through to its end.
TEST(HostileFifo, WriterThatWritesNothingGivesAnEmptyInput) {
    tooltest::TempDir dir;
    const std::string fifo = dir.path("fifo");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    std::thread writer = writeToFifo(fifo, "");
    const auto r = runTool({fifo});
    writer.join();
    EXPECT_EQ(r.code, kInputError) << r.err;
    EXPECT_TRUE(contains(r.err, fifo + ": the status block is 0 bytes")) << r.err;
}

TEST(HostileFifo, DumpWrittenIntoAFifoIsAnalysed) {
    tooltest::TempDir dir;
    const std::string fifo = dir.path("fifo");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    std::thread writer = writeToFifo(fifo, bareHex(normalBlock()));
    const auto r = runTool({fifo});
    writer.join();
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_TRUE(contains(r.out, "<DeviceStatus>"));
}

}  // namespace
