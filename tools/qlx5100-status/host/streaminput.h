// --stream's input: standard input, a file or a FIFO read as consecutive
// status blocks of one size, each handed over as soon as its last byte is
// in, so that a poller's pipe can stay open for hours.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace qlx5100status {

class BlockStream {
public:
    // "-" is standard input. Throws InputError when the file cannot be
    // opened.
    BlockStream(const std::string& path, std::size_t blockSize);

    enum class Got { Block, Partial, End };

    // The next block into block (resized to the block size, or to the bytes
    // a partial last block has); Partial is the stream ending inside a block.
    // Throws InputError for a read error.
    Got next(std::vector<std::uint8_t>& block);

    // As every input is named (displayName): "(stdin)" or the path, shown().
    const std::string& name() const { return name_; }

private:
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file_;
    std::FILE* in_;
    std::size_t blockSize_;
    std::string name_;
};

}  // namespace qlx5100status
