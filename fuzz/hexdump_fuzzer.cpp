// The command-line tool's hex dump reader on any text.
//
// Property: parseHexDump either throws HexDumpError with a short message that
// names a line of the text (or none), or returns between 1 and the limit's
// number of bytes; and those bytes, written back in each dialect the reader
// accepts (as xxd, xxd -p, od -Ax -tx1 with and without z, hexdump -C and
// bare 0x.. groups would write them, repeated lines as "*"), look like a hex
// dump to the tool's format guess and read back as the same bytes.
#include <algorithm>

#include "fuzz_support.h"
#include "hexdump.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using fuzzsupport::fail;
using fuzzsupport::printable;

// Small enough that "*" lines cannot make every run allocate megabytes.
constexpr std::size_t kLimit = 64 * 1024;

std::string hex(std::size_t value, int width) {
    std::string s;
    for (; width > 0 || value != 0; --width, value >>= 4) {
        s.insert(s.begin(), "0123456789abcdef"[value & 15]);
    }
    return s;
}

// How a tool lays out a dump: lines of perLine bytes after an offset of
// offsetDigits (none for 0), each byte between before and after, groupEnd
// after each group but the line's last, the text column (padded to it) between
// textOpen and textClose, a line equal to the one before as "*" and the end as
// an offset on its own when squeezed.
struct Style {
    int offsetDigits;
    const char* offsetEnd;
    std::size_t perLine;
    const char *before, *after;
    std::size_t group;
    const char *groupEnd, *textOpen, *textClose;
    bool squeeze;
};

std::string dump(const Bytes& b, const Style& s) {
    std::string out;
    bool squeezed = false;
    for (std::size_t at = 0; at < b.size(); at += s.perLine) {
        const std::size_t n = std::min(s.perLine, b.size() - at);
        if (s.squeeze && at >= n && n == s.perLine && std::equal(&b[at], &b[at] + n, &b[at - n])) {
            out += squeezed ? "" : "*\n";
            squeezed = true;
            continue;
        }
        squeezed = false;
        out += s.offsetDigits > 0 ? hex(at, s.offsetDigits) + s.offsetEnd : "";
        std::string text;
        for (std::size_t i = 0; i < (s.textOpen != nullptr ? s.perLine : n); ++i) {
            out += s.before + (i < n ? hex(b[at + i], 2) : "  ") + s.after +
                   ((i + 1) % s.group == 0 && i + 1 < s.perLine ? s.groupEnd : "");
            text += i >= n                                  ? ""
                    : b[at + i] >= 0x20 && b[at + i] < 0x7F ? std::string(1, b[at + i])
                                                            : ".";
        }
        out += (s.textOpen != nullptr ? s.textOpen + text + s.textClose : "") + "\n";
    }
    return out + (s.squeeze ? hex(b.size(), s.offsetDigits) + "\n" : "");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    Bytes bytes;
    try {
        bytes = qlx5100status::parseHexDump(text, kLimit);
    } catch (const qlx5100status::HexDumpError& e) {
        const std::size_t lines = 1 + std::count(text.begin(), text.end(), '\n');
        const std::string message = e.what();
        if (e.line() > lines || message.empty() || message.size() > 400 || e.detail().empty()) {
            fail("unclear error for line " + std::to_string(e.line()) + " of " +
                 std::to_string(lines) + ": \"" + printable(message) + "\"");
        }
        return 0;
    }
    if (bytes.empty() || bytes.size() > kLimit) {
        fail("a dump of " + std::to_string(bytes.size()) + " bytes");
    }
    const std::pair<const char*, Style> dialects[] = {
        {"xxd", {8, ": ", 16, "", "", 2, " ", "  ", "", false}},
        {"xxd -p", {0, "", 30, "", "", 1, "", nullptr, "", false}},
        {"od -Ax -tx1", {6, "", 16, " ", "", 1, "", nullptr, "", true}},
        {"od -Ax -tx1z", {6, "", 16, " ", "", 1, "", "  >", "<", true}},
        {"hexdump -C", {8, " ", 16, " ", "", 8, " ", "  |", "|", true}},
        {"bare", {0, "", 12, " 0x", ",", 1, "", nullptr, "", false}},
    };
    for (const auto& [dialect, style] : dialects) {
        const std::string written = dump(bytes, style);
        try {
            const Bytes again = qlx5100status::parseHexDump(written, kLimit);
            if (!qlx5100status::looksLikeHexDump(written) || again != bytes) {
                fail(
                    std::string(dialect) + " output is not taken for a hex dump or reads back as " +
                    printable(std::string(again.begin(), again.end())) + "\n" + printable(written));
            }
        } catch (const qlx5100status::HexDumpError& e) {
            fail(std::string(dialect) + " output does not read back: " + e.what() + "\n" +
                 printable(written));
        }
    }
    return 0;
}
