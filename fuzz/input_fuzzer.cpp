// The command-line tool's whole input stage (decodeInput: the format guess,
// byte order marks and UTF-16, the binary fallback, the hex dump reader).
//
// Property: any bytes, as given, come back as they are (binary), as some
// bytes of a dump, or as an error naming a line of the text (or none). And
// the input's tail, dumped as xxd or xxd -p would write it and dressed as a
// file may come (byte order marks, UTF-16 either way, comments, blank lines,
// CRLF, NULs at the end), reads back as exactly those bytes, guessed or not.
#include <algorithm>

#include "fuzz_support.h"
#include "hexdump.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using fuzzsupport::fail;
using fuzzsupport::printable;
using qlx5100status::InputFormat;

std::string hex(std::size_t value, int width) {
    std::string s;
    for (; width > 0; --width, value >>= 4) {
        s.insert(s.begin(), "0123456789abcdef"[value & 15]);
    }
    return s;
}

std::string shownBytes(const Bytes& b) {
    return printable(std::string(b.begin(), b.end()));
}

// Runs the input stage; on an error, checks that it names a line the text has.
bool decode(const Bytes& in, InputFormat format, qlx5100status::DecodedInput& out) {
    try {
        out = qlx5100status::decodeInput(in, format);
        return true;
    } catch (const qlx5100status::HexDumpError& e) {
        const std::string text = qlx5100status::dumpText(
            std::string_view(reinterpret_cast<const char*>(in.data()), in.size()));
        const std::size_t lines = 1 + std::count(text.begin(), text.end(), '\n');
        if (e.line() > lines || e.detail().empty() || std::string(e.what()).size() > 400) {
            fail("unclear error for line " + std::to_string(e.line()) + " of " +
                 std::to_string(lines) + ": \"" + printable(e.what()) + "\"");
        }
        return false;
    }
}

// As xxd (offsets, pairs, text column) or xxd -p would write the bytes.
std::string dump(const Bytes& b, bool plain, bool comments) {
    std::string out = comments ? "# status block\n\n" : "";
    const std::size_t perLine = plain ? 30 : 16;
    for (std::size_t at = 0; at < b.size(); at += perLine) {
        const std::size_t n = std::min(perLine, b.size() - at);
        std::string text;
        out += plain ? "" : hex(at, 8) + ": ";
        for (std::size_t i = 0; i < (plain ? n : perLine); ++i) {
            out += (i < n ? hex(b[at + i], 2) : "  ") + (!plain && i % 2 == 1 ? " " : "");
            if (i < n) {
                text += b[at + i] >= 0x20 && b[at + i] < 0x7F ? char(b[at + i]) : '.';
            }
        }
        out += (plain ? "" : " " + text) + "\n" + (comments && at == 0 ? "# more\n" : "");
    }
    return out;
}

Bytes dressed(const std::string& text, unsigned how) {
    std::string t;
    for (const char c : text) {
        t += (how & 1) != 0 && c == '\n' ? "\r\n" : std::string(1, c);
    }
    Bytes out;
    const unsigned encoding = (how >> 1) % 5;  // as is, UTF-8 mark, UTF-16 LE/BE marked, LE bare
    if (encoding == 1) {
        out = {0xEF, 0xBB, 0xBF};
    } else if (encoding == 2 || encoding == 4) {
        out = encoding == 2 ? Bytes{0xFF, 0xFE} : Bytes{};
    } else if (encoding == 3) {
        out = {0xFE, 0xFF};
    }
    for (const char c : t) {
        const auto u = static_cast<std::uint8_t>(c);
        if (encoding < 2) {
            out.push_back(u);
        } else {
            out.insert(out.end(),
                       {encoding == 3 ? std::uint8_t{0} : u, encoding == 3 ? u : std::uint8_t{0}});
        }
    }
    out.insert(out.end(), (how >> 4) % 4 * (encoding >= 2 ? 2 : 1), 0);  // padding NULs
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const Bytes raw(data, data + size);
    qlx5100status::DecodedInput got;
    for (const InputFormat format : {InputFormat::Auto, InputFormat::Hex, InputFormat::Binary}) {
        if (decode(raw, format, got) && (got.fromDump ? got.bytes.empty() : got.bytes != raw)) {
            fail("input comes back as " + shownBytes(got.bytes));
        }
    }
    if (size < 2) {
        return 0;
    }
    const unsigned how = data[0];
    const Bytes block(data + 1, data + size);
    const Bytes file = dressed(dump(block, (how & 0x40) != 0, (how & 0x80) != 0), how);
    for (const InputFormat format : {InputFormat::Auto, InputFormat::Hex}) {
        got = {};
        if (!decode(file, format, got) || !got.fromDump || got.bytes != block) {
            fail("a dump of " + shownBytes(block) + " reads back as " +
                 (got.fromDump ? "" : "binary ") + shownBytes(got.bytes) + ":\n" +
                 shownBytes(file));
        }
    }
    return 0;
}
