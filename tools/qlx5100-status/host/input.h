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

// How expandInputs() reads a folder.
struct Expansion {
    bool recursive = false;  // -r: the folders inside it too
    // Left out where a folder holds them: the run's own outputs (-o FILE,
    // --log-file), which the next run would read back as blocks.
    std::vector<std::string> outputs;
};

// Paths as given, with each directory replaced by the regular files inside
// it, sorted by name, hidden entries left out; with recursive, the folders
// inside it in their place by name, a link that leads back into a folder
// being read (a loop) named and skipped; without, each folder inside named as
// skipped. Other paths are kept as they are, for readInput to report. Throws
// InputError for a folder it cannot list.
std::vector<std::string> expandInputs(const std::vector<std::string>& paths,
                                      const Expansion& how = Expansion());

}  // namespace qlx5100status
