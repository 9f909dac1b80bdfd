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

std::vector<std::string> expandInputs(const std::vector<std::string>& paths) {
    std::vector<std::string> out;
    for (const std::string& path : paths) {
        std::error_code ec;
        if (path == "-" || !fs::is_directory(path, ec)) {
            out.push_back(path);
            continue;
        }
        std::vector<std::string> files;
        for (const auto& entry : fs::directory_iterator(path, ec)) {
            const std::string base = entry.path().filename().string();
            std::error_code typeError;
            const fs::file_status status = entry.status(typeError);
            if (base.empty() || base[0] == '.' || fs::is_directory(status)) {
                continue;
            }
            if (fs::is_regular_file(status)) {
                files.push_back(entry.path().string());
                continue;
            }
            // Named, so that a batch does not quietly come out one input short.
            const fs::file_type type = status.type();
            printNote(shown(entry.path().string()) + ": skipped: " +
                      (type == fs::file_type::not_found   ? "a symbolic link to nothing"
                       : type == fs::file_type::fifo      ? "a FIFO"
                       : type == fs::file_type::socket    ? "a socket"
                       : type == fs::file_type::character ? "a device"
                       : type == fs::file_type::block     ? "a device"
                                                          : "not a regular file"));
        }
        if (ec) {
            throw InputError(shown(path) + ": " + ec.message());
        }
        std::sort(files.begin(), files.end());
        out.insert(out.end(), files.begin(), files.end());
    }
    return out;
}

}  // namespace qlx5100status
