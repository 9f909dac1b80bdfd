// The command-line tool's hex dump reader on any text.
//
// Property: parseHexDump either throws HexDumpError with a short message
// that names a line of the text (or none), or returns between 1 and the
// limit's number of bytes; and those bytes, written back in each dialect the
// reader accepts (as xxd, xxd -p, od -Ax -tx1 with and without z, hexdump -C
// and bare 0x.. groups would write them, repeated lines as "*"), look like a
// hex dump to the tool's format guess and read back as the same bytes.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_support.h"
#include "hexdump.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using fuzzsupport::fail;

// Small enough that "*" lines cannot make every run allocate megabytes.
constexpr std::size_t kLimit = 64 * 1024;
constexpr std::size_t kLongestMessage = 400;

std::string hex2(std::uint8_t b) {
    char s[3];
    std::snprintf(s, sizeof s, "%02x", b);
    return s;
}

std::string offset(std::size_t value, int width) {
    char s[32];
    std::snprintf(s, sizeof s, "%0*zx", width, value);
    return s;
}

char shown(std::uint8_t b) {
    return b >= 0x20 && b < 0x7F ? static_cast<char>(b) : '.';
}

std::string xxd(const Bytes& b) {
    std::string out;
    for (std::size_t at = 0; at < b.size(); at += 16) {
        const std::size_t n = std::min<std::size_t>(16, b.size() - at);
        std::string area;
        for (std::size_t i = 0; i < 16; ++i) {
            area += i < n ? hex2(b[at + i]) : "  ";
            if (i % 2 == 1 && i != 15) {
                area += ' ';
            }
        }
        out += offset(at, 8) + ": " + area + "  ";
        for (std::size_t i = 0; i < n; ++i) {
            out += shown(b[at + i]);
        }
        out += '\n';
    }
    return out;
}

std::string xxdPlain(const Bytes& b) {
    std::string out;
    for (std::size_t i = 0; i < b.size(); ++i) {
        out += hex2(b[i]);
        if (i % 30 == 29 || i + 1 == b.size()) {
            out += '\n';
        }
    }
    return out;
}

// od -Ax -tx1 [z] and hexdump -C: 16 bytes a line, a line equal to the one
// before as "*", and the end as an offset on its own.
std::string byteGroups(const Bytes& b, bool hexdumpC, bool textColumn) {
    std::string out;
    bool squeezed = false;
    for (std::size_t at = 0; at < b.size(); at += 16) {
        const std::size_t n = std::min<std::size_t>(16, b.size() - at);
        if (at >= 16 && n == 16 &&
            std::equal(b.begin() + at, b.begin() + at + 16, b.begin() + at - 16)) {
            if (!squeezed) {
                out += "*\n";
                squeezed = true;
            }
            continue;
        }
        squeezed = false;
        std::string line = offset(at, hexdumpC ? 8 : 6) + (hexdumpC ? " " : "");
        for (std::size_t i = 0; i < 16; ++i) {
            line += i < n ? " " + hex2(b[at + i]) : (hexdumpC ? "   " : "");
            if (hexdumpC && i == 7) {
                line += ' ';
            }
        }
        if (textColumn) {
            line += hexdumpC ? "  |" : "  >";
            for (std::size_t i = 0; i < n; ++i) {
                line += shown(b[at + i]);
            }
            line += hexdumpC ? '|' : '<';
        }
        out += line + '\n';
    }
    out += offset(b.size(), hexdumpC ? 8 : 6) + '\n';
    return out;
}

std::string bare(const Bytes& b) {
    std::string out;
    for (std::size_t i = 0; i < b.size(); ++i) {
        out += "0x" + hex2(b[i]) + (i % 12 == 11 ? ",\n" : ", ");
    }
    return out;
}

std::string printableBytes(const Bytes& b) {
    return fuzzsupport::printable(std::string(b.begin(), b.end()));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    Bytes bytes;
    try {
        bytes = qlx5100status::parseHexDump(text, kLimit);
    } catch (const qlx5100status::HexDumpError& e) {
        std::size_t lines = 1;
        for (const char c : text) {
            lines += c == '\n';
        }
        const std::string message = e.what();
        if (e.line() > lines || message.empty() || message.size() > kLongestMessage ||
            e.detail().empty()) {
            fail("unclear error for line " + std::to_string(e.line()) + " of " +
                 std::to_string(lines) + ": \"" + fuzzsupport::printable(message) + "\"");
        }
        return 0;
    }
    if (bytes.empty() || bytes.size() > kLimit) {
        fail("a dump of " + std::to_string(bytes.size()) + " bytes");
    }
    const struct {
        const char* dialect;
        std::string dump;
    } rewritten[] = {
        {"xxd", xxd(bytes)},
        {"xxd -p", xxdPlain(bytes)},
        {"od -Ax -tx1", byteGroups(bytes, false, false)},
        {"od -Ax -tx1z", byteGroups(bytes, false, true)},
        {"hexdump -C", byteGroups(bytes, true, true)},
        {"bare", bare(bytes)},
    };
    for (const auto& r : rewritten) {
        if (!qlx5100status::looksLikeHexDump(r.dump)) {
            fail(std::string(r.dialect) + " output is not taken for a hex dump:\n" +
                 fuzzsupport::printable(r.dump));
        }
        try {
            const Bytes again = qlx5100status::parseHexDump(r.dump, kLimit);
            if (again != bytes) {
                fail(std::string(r.dialect) + " output reads back as other bytes:\n" +
                     printableBytes(again) + "\ninstead of\n" + printableBytes(bytes));
            }
        } catch (const qlx5100status::HexDumpError& e) {
            fail(std::string(r.dialect) + " output does not read back: " + e.what() + "\n" +
                 fuzzsupport::printable(r.dump));
        }
    }
    return 0;
}
