#include "input.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string_view>

#include "escape.h"
#include "hexdump.h"
#include "messages.h"
#include "orvplatform/hostloader.h"
#include "samefile.h"

namespace qlx5100status {

namespace fs = std::filesystem;

namespace {

std::vector<std::uint8_t> readAll(std::FILE* file, const std::string& name, std::size_t limit,
                                  const std::string& tooLarge) {
    std::vector<std::uint8_t> bytes;
    std::uint8_t chunk[65536];
    for (;;) {
        const std::size_t n = std::fread(chunk, 1, sizeof chunk, file);
        bytes.insert(bytes.end(), chunk, chunk + n);
        if (bytes.size() > limit) {
            throw InputError(name + ": " + tooLarge);
        }
        if (n < sizeof chunk) {
            if (std::ferror(file)) {
                throw InputError(name + ": read error: " + std::strerror(errno));
            }
            return bytes;
        }
    }
}

}  // namespace

std::string displayName(const std::string& path) {
    return path == "-" ? "(stdin)" : shown(path);
}

std::vector<std::uint8_t> readBytes(const std::string& path) {
    return readBytes(
        path, kMaxInputBytes,
        "larger than " + std::to_string(kMaxInputBytes) + " bytes; not a status block");
}

std::vector<std::uint8_t> readBytes(const std::string& path, std::size_t limit,
                                    const std::string& tooLarge) {
    const std::string name = displayName(path);
    if (path == "-") {
        // A binary block on standard input must arrive byte for byte.
        orvplatform::setBinaryMode(stdin);
        return readAll(stdin, name, limit, tooLarge);
    }
    // fopen takes a directory on some systems and fails only on reading.
    std::error_code ec;
    if (fs::is_directory(path, ec)) {
        throw InputError(name + ": " + std::strerror(EISDIR));
    }
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"),
                                                               &std::fclose);
    if (!file) {
        throw InputError(name + ": " + std::strerror(errno));
    }
    return readAll(file.get(), name, limit, tooLarge);
}

std::vector<std::uint8_t> readInput(const std::string& path, InputFormat format, bool* fromDump) {
    const std::string name = displayName(path);
    try {
        DecodedInput input = decodeInput(readBytes(path), format);
        if (fromDump != nullptr) {
            *fromDump = input.fromDump;
        }
        return std::move(input.bytes);
    } catch (const HexDumpError& e) {
        throw InputError(name + ": not a hex dump we can read: " + e.what() +
                         (format == InputFormat::Auto
                              ? " (use --input-format binary if it is a binary block)"
                              : ""));
    }
}

namespace {

const char* whatItIs(fs::file_type type) {
    switch (type) {
        case fs::file_type::not_found:
            return "a symbolic link to nothing";
        case fs::file_type::fifo:
            return "a FIFO";
        case fs::file_type::socket:
            return "a socket";
        case fs::file_type::character:
        case fs::file_type::block:
            return "a device";
        default:
            return "not a regular file";
    }
}

// Everything skipped is named, so that a batch does not quietly come out
// short. open holds the real paths of the folders being listed, outermost
// first: a link to one of them would be listed for ever.
void listFolder(const fs::path& folder, const Expansion& how, std::vector<fs::path>& open,
                std::vector<std::string>& out) {
    std::error_code ec;
    const fs::path real = fs::canonical(folder, ec);
    if (!ec && std::find(open.begin(), open.end(), real) != open.end()) {
        printNote(shown(folder.string()) + ": skipped: a link back to " + shown(real.string()) +
                  ", a folder being read (a loop)");
        return;
    }
    std::vector<fs::directory_entry> entries;
    for (const auto& entry : fs::directory_iterator(folder, ec)) {
        const std::string base = entry.path().filename().string();
        if (!base.empty() && base[0] != '.') {
            entries.push_back(entry);
        }
    }
    if (ec) {
        throw InputError(shown(folder.string()) + ": " + ec.message());
    }
    std::sort(entries.begin(), entries.end());
    open.push_back(real);
    for (const fs::directory_entry& entry : entries) {
        const std::string path = entry.path().string();
        std::error_code typeError;
        const fs::file_status status = entry.status(typeError);
        if (fs::is_directory(status)) {
            if (how.recursive) {
                listFolder(entry.path(), how, open, out);
            } else {
                printNote(shown(path) + ": skipped: a folder (-r reads the folders inside)");
            }
        } else if (!fs::is_regular_file(status)) {
            printNote(shown(path) + ": skipped: " + whatItIs(status.type()));
        } else if (std::any_of(how.outputs.begin(), how.outputs.end(),
                               [&path](const std::string& o) { return sameFile(path, o); })) {
            printNote(shown(path) + ": skipped: this run writes it");
        } else {
            out.push_back(path);
        }
    }
    open.pop_back();
}

}  // namespace

std::vector<std::string> expandInputs(const std::vector<std::string>& paths, const Expansion& how) {
    std::vector<std::string> out;
    for (const std::string& path : paths) {
        std::error_code ec;
        if (path == "-" || !fs::is_directory(path, ec)) {
            out.push_back(path);
            continue;
        }
        std::vector<fs::path> open;
        listFolder(path, how, open, out);
    }
    return out;
}

}  // namespace qlx5100status
