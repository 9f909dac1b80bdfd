#include "hexdump.h"

#include <algorithm>
#include <optional>
#include <utility>

#include "fields.h"

namespace qlx5100status {

namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && isBlank(s.front())) {
        s.remove_prefix(1);
    }
    while (!s.empty() && isBlank(s.back())) {
        s.remove_suffix(1);
    }
    return s;
}

// Quoted for a message, cut so that a line of junk does not flood the
// terminal, with unprintable bytes shown as \xNN.
std::string quoted(std::string_view s) {
    constexpr std::size_t kShown = 24;
    std::string out = "\"";
    for (std::size_t i = 0; i < s.size() && i < kShown; ++i) {
        const auto c = static_cast<unsigned char>(s[i]);
        if (c >= 0x20 && c < 0x7F) {
            out += static_cast<char>(c);
        } else {
            static const char digits[] = "0123456789abcdef";
            out += "\\x";
            out += digits[c >> 4];
            out += digits[c & 0xF];
        }
    }
    if (s.size() > kShown) {
        out += "...";
    }
    return out + "\"";
}

std::string hex(std::size_t value) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    do {
        out.insert(out.begin(), digits[value & 0xF]);
        value >>= 4;
    } while (value != 0);
    return "0x" + out;
}

enum class Dialect { Xxd, BytePerGroup, Bare, CArray };

class Reader {
public:
    explicit Reader(std::size_t maxBytes) : maxBytes_(maxBytes) {}

    void line(std::size_t number, std::string_view text) {
        line_ = number;
        while (!text.empty() && isBlank(text.front())) {
            text.remove_prefix(1);
        }
        if (!text.empty() && text.back() == '\r') {
            text.remove_suffix(1);
        }
        raw_ = text;  // the text column may end in a blank
        text = trim(text);
        if (text.empty() || text.front() == '#') {
            return;
        }
        if (text == "*") {
            repeat();
            return;
        }
        if (!dialect_ && isArrayHead(text)) {
            dialect_ = Dialect::CArray;
            return;
        }
        if (!dialect_) {
            dialect_ = detect(text);
        }
        if (*dialect_ == Dialect::CArray) {
            arrayLine(text);
        } else if (*dialect_ == Dialect::Bare) {
            bare(text);
        } else {
            withOffset(text);
        }
    }

    std::vector<std::uint8_t> finish() {
        line_ = 0;
        if (repeatPending_) {
            fail("the dump ends with \"*\" but no offset says how far it repeats");
        }
        if (bytes_.empty()) {
            fail("no hex bytes found");
        }
        if (dialect_ == Dialect::CArray && !arrayClosed_) {
            fail("the C array has no closing \"};\"");
        }
        return std::move(bytes_);
    }

private:
    [[noreturn]] void fail(const std::string& detail) const {
        throw HexDumpError(line_, detail, bytes_.size());
    }

    // The first data line decides: an offset column is a first group that
    // ends in ':' (xxd), or a first group that is longer than the second
    // (od, hexdump -C: "000000 00 01"). Anything else is bare hex.
    static Dialect detect(std::string_view text) {
        std::size_t end = 0;
        while (end < text.size() && !isBlank(text[end])) {
            ++end;
        }
        if (text[end - 1] == ':') {
            return Dialect::Xxd;
        }
        std::string_view rest = trim(text.substr(end));
        if (rest.empty()) {
            return Dialect::Bare;
        }
        std::size_t second = 0;
        while (second < rest.size() && !isBlank(rest[second])) {
            ++second;
        }
        return (end >= 4 && end > second) ? Dialect::BytePerGroup : Dialect::Bare;
    }

    // xxd -i: "unsigned char name[] = {", whatever the type and name.
    static bool isArrayHead(std::string_view text) {
        return text.back() == '{' && text.find('[') != std::string_view::npos &&
               text.find('=') != std::string_view::npos;
    }

    // The array's body is bare hex; after its "};" only the length line
    // xxd -i writes ("unsigned int name_len = 1024;"), which must agree.
    void arrayLine(std::string_view text) {
        if (!arrayClosed_) {
            if (text == "};") {
                arrayClosed_ = true;
            } else {
                bare(text);
            }
            return;
        }
        const std::size_t equals = text.find('=');
        const std::string_view value =
            equals == std::string_view::npos || text.back() != ';' || lengthSeen_
                ? std::string_view()
                : trim(text.substr(equals + 1, text.size() - equals - 2));
        if (value.empty() || value.size() > 16 ||
            value.find_first_not_of("0123456789") != std::string_view::npos) {
            fail("after the C array's \"};\" only its length line, found " + quoted(text));
        }
        lengthSeen_ = true;
        if (std::stoull(std::string(value)) != bytes_.size()) {
            fail("the C array's length line says " + std::string(value) +
                 " bytes; the array holds " + std::to_string(bytes_.size()));
        }
    }

    void repeat() {
        if (dialect_.value_or(Dialect::Bare) == Dialect::Bare) {
            fail("\"*\" (repeat the previous line) needs a dump with an offset column");
        }
        if (lastLine_.empty()) {
            fail("\"*\" before any line of bytes");
        }
        repeatPending_ = true;
    }

    void bare(std::string_view text) {
        std::size_t pos = 0;
        while (pos < text.size()) {
            if (isBlank(text[pos]) || text[pos] == ',') {
                ++pos;
                continue;
            }
            std::size_t end = pos;
            while (end < text.size() && !isBlank(text[end]) && text[end] != ',') {
                ++end;
            }
            std::string_view group = text.substr(pos, end - pos);
            if (group.size() > 2 && group[0] == '0' && (group[1] == 'x' || group[1] == 'X')) {
                group.remove_prefix(2);
            }
            appendGroup(group, pos + 1);
            pos = end;
        }
    }

    void withOffset(std::string_view text) {
        std::size_t end = 0;
        while (end < text.size() && !isBlank(text[end])) {
            ++end;
        }
        std::string_view offsetText = text.substr(0, end);
        if (*dialect_ == Dialect::Xxd) {
            if (offsetText.back() != ':') {
                fail("expected an offset ending in ':' (xxd), found " + quoted(offsetText));
            }
            offsetText.remove_suffix(1);
        }
        seek(parseOffset(offsetText));

        // The byte area: xxd ends it with two blanks before the text column;
        // od and hexdump start their text column with '>' or '|'.
        std::size_t pos = end;
        while (pos < text.size() && isBlank(text[pos])) {
            ++pos;
        }
        std::size_t areaEnd = text.size();
        if (*dialect_ == Dialect::Xxd) {
            for (std::size_t i = pos; i + 1 < text.size(); ++i) {
                if (isBlank(text[i]) && isBlank(text[i + 1])) {
                    areaEnd = i;
                    break;
                }
            }
        }

        lineBytes_.clear();
        groups_.clear();
        while (pos < areaEnd) {
            if (isBlank(text[pos])) {
                ++pos;
                continue;
            }
            if (*dialect_ == Dialect::BytePerGroup && (text[pos] == '>' || text[pos] == '|')) {
                break;
            }
            std::size_t groupEnd = pos;
            while (groupEnd < areaEnd && !isBlank(text[groupEnd])) {
                ++groupEnd;
            }
            const std::string_view group = text.substr(pos, groupEnd - pos);
            if (*dialect_ == Dialect::BytePerGroup && group.size() > 2 && (group.size() % 2) == 0 &&
                isHex(group)) {
                fail("groups of " + std::to_string(group.size()) +
                     " digits without xxd's ':' after the offset: od -tx2 and plain hexdump "
                     "print words in the machine's byte order; dump with od -Ax -tx1, "
                     "hexdump -C or xxd");
            }
            appendGroup(group, pos + 1);
            groups_.push_back(group.size() / 2);
            pos = groupEnd;
        }
        if (*dialect_ == Dialect::Xxd && !byteOrderKnown_ && lineBytes_.size() > groups_.size()) {
            checkByteOrder(areaEnd);
        }
        if (!lineBytes_.empty()) {
            lastLine_ = lineBytes_;
        }
    }

    // xxd -e prints groups of several bytes little-endian, and its text
    // column in file order; xxd without -e prints both in file order. The
    // first line whose text column tells the two apart decides.
    void checkByteOrder(std::size_t areaEnd) {
        const std::size_t n = lineBytes_.size();
        if (n == 0 || raw_.size() < areaEnd + n) {
            return;
        }
        const std::string_view column = raw_.substr(raw_.size() - n);
        const auto shows = [&](std::size_t i, std::uint8_t byte) {
            return column[i] == (byte >= 0x20 && byte < 0x7F ? static_cast<char>(byte) : '.');
        };
        bool fileOrder = true;
        bool swapped = true;
        std::size_t start = 0;
        for (const std::size_t size : groups_) {
            for (std::size_t i = 0; i < size; ++i) {
                fileOrder = fileOrder && shows(start + i, lineBytes_[start + i]);
                swapped = swapped && shows(start + i, lineBytes_[start + size - 1 - i]);
            }
            start += size;
        }
        for (std::size_t i = areaEnd; i < raw_.size() - n; ++i) {
            swapped = swapped || !isBlank(raw_[i]);  // xxd -e moves a short group right
        }
        if (fileOrder && !swapped) {
            byteOrderKnown_ = true;
        } else if (swapped && !fileOrder) {
            fail(
                "the text column shows the bytes of each group in the other order: an xxd -e "
                "(little-endian) dump; dump with xxd or xxd -g1");
        }
    }

    std::size_t parseOffset(std::string_view text) const {
        if (text.empty() || text.size() > 16 || !isHex(text)) {
            fail("expected a hexadecimal offset, found " + quoted(text));
        }
        std::size_t value = 0;
        for (const char c : text) {
            value = (value << 4) | static_cast<std::size_t>(hexValue(c));
        }
        return value;
    }

    // Brings the position to offset: filling a "*" run, or checking that the
    // line follows on from the previous one.
    void seek(std::size_t offset) {
        const std::size_t position = bytes_.size();
        if (repeatPending_) {
            repeatPending_ = false;
            if (offset <= position || (offset - position) % lastLine_.size() != 0) {
                fail("offset " + hex(offset) + " after \"*\" is not a whole number of " +
                     std::to_string(lastLine_.size()) + "-byte lines past " + hex(position));
            }
            if (offset > maxBytes_) {
                fail("offset " + hex(offset) + " is beyond the " + std::to_string(maxBytes_) +
                     "-byte limit");
            }
            // A run may reach the limit one byte a line: copy what is already
            // filled, doubling each pass, rather than a line at a time.
            bytes_.resize(offset);
            const auto run = bytes_.begin() + static_cast<std::ptrdiff_t>(position);
            std::copy(lastLine_.begin(), lastLine_.end(), run);
            for (std::size_t filled = lastLine_.size(); position + filled < offset;) {
                const std::size_t n = std::min(filled, offset - position - filled);
                std::copy_n(run, n, run + static_cast<std::ptrdiff_t>(filled));
                filled += n;
            }
            return;
        }
        if (offset != position) {
            fail(position == 0 ? "the dump starts at offset " + hex(offset) + ", not at 0"
                               : "offset " + hex(offset) + " does not follow on from the bytes " +
                                     "before it (expected " + hex(position) + ")");
        }
    }

    static bool isHex(std::string_view s) {
        for (const char c : s) {
            if (hexValue(c) < 0) {
                return false;
            }
        }
        return !s.empty();
    }

    void appendGroup(std::string_view group, std::size_t column) {
        for (std::size_t i = 0; i < group.size(); ++i) {
            if (hexValue(group[i]) < 0) {
                fail("column " + std::to_string(column + i) + ": " + quoted(group.substr(i, 1)) +
                     " is not a hex digit (in " + quoted(group) + ")");
            }
        }
        if (group.size() % 2 != 0) {
            fail("column " + std::to_string(column) + ": odd number of hex digits in " +
                 quoted(group));
        }
        if (bytes_.size() + group.size() / 2 > maxBytes_) {
            fail("the dump is larger than the " + std::to_string(maxBytes_) + "-byte limit");
        }
        for (std::size_t i = 0; i < group.size(); i += 2) {
            const auto byte =
                static_cast<std::uint8_t>((hexValue(group[i]) << 4) | hexValue(group[i + 1]));
            bytes_.push_back(byte);
            lineBytes_.push_back(byte);
        }
    }

    std::size_t maxBytes_;
    std::size_t line_ = 0;
    std::optional<Dialect> dialect_;
    std::vector<std::uint8_t> bytes_;
    std::vector<std::uint8_t> lineBytes_;
    std::vector<std::uint8_t> lastLine_;
    std::vector<std::size_t> groups_;  // sizes in bytes of the current line's groups
    std::string_view raw_;
    bool byteOrderKnown_ = false;
    bool repeatPending_ = false;
    bool arrayClosed_ = false;
    bool lengthSeen_ = false;
};

}  // namespace

HexDumpError::HexDumpError(std::size_t line, const std::string& detail, std::size_t decoded)
    : std::runtime_error(line == 0 ? detail : "line " + std::to_string(line) + ": " + detail),
      line_(line),
      decoded_(decoded),
      detail_(detail) {}

std::vector<std::uint8_t> parseHexDump(std::string_view text, std::size_t maxBytes) {
    Reader reader(maxBytes);
    std::size_t number = 0;
    while (!text.empty()) {
        ++number;
        const std::size_t newline = text.find('\n');
        reader.line(number, text.substr(0, newline));
        text.remove_prefix(newline == std::string_view::npos ? text.size() : newline + 1);
    }
    return reader.finish();
}

namespace {

void appendUtf8(std::string& out, std::uint32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// A code unit that is no character (a lone surrogate) becomes a NUL, which
// no dump holds, so the reader names its line.
std::string fromUtf16(std::string_view data, bool bigEndian) {
    std::string out;
    out.reserve(data.size() / 2);
    const auto unit = [&](std::size_t i) {
        const auto a = static_cast<unsigned char>(data[i]);
        const auto b = static_cast<unsigned char>(data[i + 1]);
        return static_cast<std::uint32_t>(bigEndian ? (a << 8) | b : (b << 8) | a);
    };
    for (std::size_t i = 0; i + 1 < data.size(); i += 2) {
        std::uint32_t c = unit(i);
        if (c >= 0xD800 && c < 0xDC00 && i + 3 < data.size() && unit(i + 2) >= 0xDC00 &&
            unit(i + 2) < 0xE000) {
            c = 0x10000 + ((c - 0xD800) << 10) + (unit(i + 2) - 0xDC00);
            i += 2;
        } else if (c >= 0xD800 && c < 0xE000) {
            c = 0;
        }
        appendUtf8(out, c);
    }
    if (data.size() % 2 != 0) {
        out += '\0';
    }
    return out;
}

// The length of the UTF-8 sequence at s[i], 0 when there is none.
std::size_t utf8Length(std::string_view s, std::size_t i) {
    const auto c = static_cast<unsigned char>(s[i]);
    const std::size_t n = c >= 0xC2 && c < 0xE0   ? 2
                          : c >= 0xE0 && c < 0xF0 ? 3
                          : c >= 0xF0 && c < 0xF5 ? 4
                                                  : 0;
    if (n == 0 || i + n > s.size()) {
        return 0;
    }
    for (std::size_t k = 1; k < n; ++k) {
        if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) {
            return 0;
        }
    }
    return n;
}

}  // namespace

std::string dumpText(std::string_view data) {
    std::string text;
    if (data.substr(0, 3) == "\xEF\xBB\xBF") {
        text = data.substr(3);
    } else if (data.substr(0, 2) == "\xFF\xFE" || data.substr(0, 2) == "\xFE\xFF") {
        text = fromUtf16(data.substr(2), data[0] == '\xFE');
    } else if (data.size() >= 4 && data.size() % 2 == 0 && (data[0] == '\0') != (data[1] == '\0') &&
               (data[2] == '\0') == (data[0] == '\0') && (data[3] == '\0') == (data[1] == '\0')) {
        // UTF-16 without a mark: text in it has a NUL in every other byte.
        text = fromUtf16(data, data[0] == '\0');
    } else {
        text = data;
    }
    while (!text.empty() && text.back() == '\0') {
        text.pop_back();
    }
    return text;
}

bool isText(std::string_view text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        const auto u = static_cast<unsigned char>(c);
        if (u >= 0x80) {
            const std::size_t n = utf8Length(text, i);
            if (n == 0) {
                return false;
            }
            i += n - 1;
            continue;
        }
        if (!(u >= 0x20 && u < 0x7F) && !isBlank(c) && c != '\n') {
            return false;
        }
    }
    return true;
}

bool looksLikeHexDump(std::string_view text) {
    return isText(text) &&
           std::any_of(text.begin(), text.end(), [](char c) { return hexValue(c) >= 0; });
}

namespace {

// Whether what follows line (1-based) parses as a dump on its own.
bool restIsADump(std::string_view text, std::size_t line) {
    for (std::size_t i = 0; i < line && !text.empty(); ++i) {
        const std::size_t newline = text.find('\n');
        text.remove_prefix(newline == std::string_view::npos ? text.size() : newline + 1);
    }
    try {
        return line != 0 && !parseHexDump(text).empty();
    } catch (const HexDumpError&) {
        return false;
    }
}

}  // namespace

DecodedInput decodeInput(std::vector<std::uint8_t> bytes, InputFormat format) {
    if (format == InputFormat::Binary) {
        return {std::move(bytes), false};
    }
    const std::string text =
        dumpText(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
    if (format == InputFormat::Auto && !looksLikeHexDump(text)) {
        return {std::move(bytes), false};
    }
    try {
        return {parseHexDump(text), true};
    } catch (const HexDumpError& e) {
        if (format == InputFormat::Auto && bytes.size() >= kBlockSize && e.decoded() == 0 &&
            !restIsADump(text, e.line())) {
            return {std::move(bytes), false};
        }
        throw;
    }
}

}  // namespace qlx5100status
