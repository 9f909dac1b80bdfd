// The host's plumbing in process: how inputs are named and expanded, and a
// stream cut into blocks.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "files.h"
#include "input.h"
#include "streaminput.h"
#include "temp_dir.h"

namespace {

using namespace qlx5100status;
using testsupport::TempDir;
using testsupport::writeFile;

TEST(Inputs, NamesAreShownAndFoldersExpandSortedWithoutHiddenFiles) {
    EXPECT_EQ(displayName("-"), "(stdin)");
    EXPECT_EQ(displayName("new\nline.bin"), "new\\x0Aline.bin");
    TempDir dir;
    std::filesystem::create_directory(dir.path("blocks"));
    for (const char* name : {"b.bin", "a.bin", ".hidden"}) {
        writeFile(dir.path("blocks/") + name, "x");
    }
    std::filesystem::create_directory(dir.path("blocks/sub"));
    writeFile(dir.path("blocks/sub/c.bin"), "x");
    const std::vector<std::string> expanded = expandInputs({dir.path("blocks"), "-", "gone.bin"});
    EXPECT_EQ(expanded, (std::vector<std::string>{dir.path("blocks/a.bin"),
                                                  dir.path("blocks/b.bin"), "-", "gone.bin"}));
    // -r: the folder inside in its place by name; the run's output left out.
    Expansion how;
    how.recursive = true;
    how.outputs = {dir.path("blocks/b.bin")};
    EXPECT_EQ(expandInputs({dir.path("blocks")}, how),
              (std::vector<std::string>{dir.path("blocks/a.bin"), dir.path("blocks/sub/c.bin")}));
}

// Whole blocks as they come, then the partial rest, then the end.
TEST(BlockStreams, CutTheInputIntoBlocksOfTheSizeAsked) {
    TempDir dir;
    writeFile(dir.path("s.bin"), std::string(10, 'a') + std::string(3, 'b'));
    BlockStream in(dir.path("s.bin"), 5);
    std::vector<std::uint8_t> block;
    EXPECT_EQ(in.next(block), BlockStream::Got::Block);
    EXPECT_EQ(block.size(), 5u);
    EXPECT_EQ(in.next(block), BlockStream::Got::Block);
    EXPECT_EQ(in.next(block), BlockStream::Got::Partial);
    EXPECT_EQ(block, std::vector<std::uint8_t>(3, 'b'));
    EXPECT_THROW(BlockStream(dir.path("missing"), 5), InputError);
}

}  // namespace
