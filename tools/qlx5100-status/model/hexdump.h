// Reader for hex dumps of a status block: the one text format the tool
// parses by hand, kept apart so that it can be tested and fuzzed alone.
//
// Accepted dialects (decided by the first line that holds data):
//   - with an offset column: `xxd` (offset ends in ':'; groups of any even
//     number of digits, in file byte order; the text column starts after two
//     blanks), `od -Ax -tx1` and `od -Ax -tx1z`, `hexdump -C` (offset without
//     ':'; one byte per group; a text column starting with '>' or '|'). A line
//     "*" repeats the previous line up to the next offset, as od and hexdump
//     print it; a line holding only an offset closes the dump.
//     xxd -e (little-endian groups, told by the text column) is refused.
//   - bare hex: whitespace- or comma-separated groups of an even number of
//     digits, each optionally written with "0x" (`xxd -p`, hand-written).
//   - a C array as `xxd -i` writes it: bare hex between a first line
//     "TYPE NAME[] = {" and "};", then optionally "unsigned int NAME_len = N;",
//     whose N must be the array's length.
// Blank lines and lines starting with '#' are skipped everywhere.
//
// Not accepted, with a message that says why: odd digit counts, characters
// that are not hex where a byte is expected, offsets that do not follow on
// (gaps, going back, a dump that does not start at 0), multi-byte groups
// without xxd's ':' (od -tx2 and plain hexdump print words in the machine's
// byte order), and dumps larger than the given limit.
//
// Pure functions of their input; safe to call from any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "choices.h"

namespace qlx5100status {

class HexDumpError : public std::runtime_error {
public:
    // line is 1-based; 0 when the problem concerns the dump as a whole.
    HexDumpError(std::size_t line, const std::string& detail, std::size_t decoded = 0);

    std::size_t line() const noexcept { return line_; }
    // The message without its "line N: " prefix.
    const std::string& detail() const noexcept { return detail_; }
    // How many bytes the dump had given before the problem.
    std::size_t decoded() const noexcept { return decoded_; }

private:
    std::size_t line_;
    std::size_t decoded_;
    std::string detail_;
};

// Far above any status block, low enough that a hostile "*" line cannot make
// the reader allocate without bound.
constexpr std::size_t kMaxHexDumpBytes = 16u * 1024u * 1024u;

// The bytes the dump describes, in order. Throws HexDumpError for text that
// is no dump in one of the dialects above, for an empty dump and for one
// describing more than maxBytes bytes.
std::vector<std::uint8_t> parseHexDump(std::string_view text,
                                       std::size_t maxBytes = kMaxHexDumpBytes);

// The text of a file as the reader takes it: without a UTF-8 byte order
// mark, UTF-16 (with its mark) as UTF-8, without NULs at the end (some
// editors and tools pad with them).
std::string dumpText(std::string_view data);

// True when text holds only printable characters (UTF-8) and white space.
bool isText(std::string_view text);

// True when text (dumpText) could be a hex dump rather than a binary block:
// it holds only printable characters (UTF-8) and white space, and has a hex
// digit.
bool looksLikeHexDump(std::string_view text);

enum class InputFormat { Auto, Binary, Hex };

// How the command line names each, with its help; in the enumeration's order.
inline constexpr NamedValue<InputFormat> kInputFormats[] = {
    {InputFormat::Auto, "auto", "text that looks like a hex dump is read as one (the default)"},
    {InputFormat::Binary, "binary", "every input is a binary block as it is"},
    {InputFormat::Hex, "hex", "every input is a hex dump"},
};

// What the tool reads from one input's bytes: they themselves (Binary), the
// dump they hold (Hex) or, with Auto, the dump when they look like one
// (looksLikeHexDump) and parse as one. Bytes of at least a block's size whose
// first data line is no dump line are binary, unless the rest is a dump: one
// odd line does not make a dump binary. Throws HexDumpError.
struct DecodedInput {
    std::vector<std::uint8_t> bytes;
    bool fromDump = false;
};
DecodedInput decodeInput(std::vector<std::uint8_t> bytes, InputFormat format);

}  // namespace qlx5100status
