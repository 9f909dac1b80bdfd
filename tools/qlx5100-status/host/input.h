// Reading status blocks from files, directories and standard input.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "hexdump.h"  // InputFormat

namespace qlx5100status {

// A status block is about a kilobyte; this only keeps a wrong file (a disk
// image, a pipe that never ends) from being read into memory whole. Also the
// largest block --stream takes.
constexpr std::size_t kMaxInputBytes = 64u * 1024u * 1024u;

// The message names the input.
class InputError : public std::runtime_error {
    using std::runtime_error::runtime_error;
};

// The name shown for an input in every output and message: "-" reads as
// "(stdin)", other paths escaped (shown()), since a file name may hold any
// byte but a terminal, a parser or a log reader should see only text.
std::string displayName(const std::string& path);

// The bytes of one file ("-" is standard input) as they are, at most 64 MiB.
// Throws InputError with the system's reason.
std::vector<std::uint8_t> readBytes(const std::string& path);

// The same with another bound: past limit bytes, InputError says
// "NAME: tooLarge".
std::vector<std::uint8_t> readBytes(const std::string& path, std::size_t limit,
                                    const std::string& tooLarge);

// The bytes of one input ("-" is standard input), as decodeInput takes
// them. fromDump says whether the bytes came from a dump. Throws InputError.
std::vector<std::uint8_t> readInput(const std::string& path, InputFormat format,
                                    bool* fromDump = nullptr);

// Paths as given, with each directory replaced by the regular files directly
// inside it, sorted by name (hidden files left out). Other paths are kept as
// they are, for readInput to report. Throws InputError for a folder it cannot
// list.
std::vector<std::string> expandInputs(const std::vector<std::string>& paths);

}  // namespace qlx5100status
