#include "streaminput.h"

#include <cerrno>
#include <cstring>

#include "input.h"
#include "orvplatform/hostloader.h"

namespace qlx5100status {

namespace {

int noClose(std::FILE*) {
    return 0;
}

}  // namespace

BlockStream::BlockStream(const std::string& path, std::size_t blockSize)
    : file_(nullptr, &noClose), in_(stdin), blockSize_(blockSize), name_(displayName(path)) {
    if (path == "-") {
        orvplatform::setBinaryMode(stdin);
        return;
    }
    file_ = std::unique_ptr<std::FILE, int (*)(std::FILE*)>(std::fopen(path.c_str(), "rb"),
                                                            &std::fclose);
    if (!file_) {
        throw InputError(name_ + ": " + std::strerror(errno));
    }
    in_ = file_.get();
}

BlockStream::Got BlockStream::next(std::vector<std::uint8_t>& block) {
    block.resize(blockSize_);
    // fread returns once it has the whole block (or the stream ended): a
    // pipe's short reads are its business.
    const std::size_t n = std::fread(block.data(), 1, blockSize_, in_);
    if (n < blockSize_ && std::ferror(in_)) {
        throw InputError(name_ + ": read error: " + std::strerror(errno));
    }
    block.resize(n);
    return n == blockSize_ ? Got::Block : n == 0 ? Got::End : Got::Partial;
}

}  // namespace qlx5100status
