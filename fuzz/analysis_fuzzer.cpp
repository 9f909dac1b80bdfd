// startStatusAnalysis through the built analyzer module with the shipped
// common module, on any bytes and any size. The block ends right before an
// unreadable page, so a read past `size` faults; the guard turns that fault
// into a logged false, which breaks the property below.
//
// Property: a block under 1024 bytes gives false with the one error record
// "Status size error" and an untouched map; any other block gives true, no
// error record, and exactly the map of the reference decode (the shipped
// common module adds no entries).
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "reference_decode.h"

namespace {

constexpr std::size_t kMinimumSize = 1024;

std::string describe(const StatusMap& m) {
    std::string out;
    for (const auto& [key, entries] : m) {
        for (const auto& [index, value] : entries) {
            out += "\n  " + key + "[" + std::to_string(index) + "] = \"" +
                   fuzzsupport::printable(value) + "\"";
        }
    }
    return out;
}

std::string describe(const std::vector<std::string>& records) {
    std::string out;
    for (const auto& r : records) {
        out += "\n  \"" + fuzzsupport::printable(r) + "\"";
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static fuzzsupport::GuardedBuffer buffer;
    const auto& analyzer = fuzzsupport::Analyzer::get();
    char* block = buffer.place(data, size);

    StatusMap out;
    const bool result = analyzer.startStatusAnalysis(block, size, out);
    const std::vector<std::string> errors = fuzzsupport::takeErrorRecords();

    const std::string where = " for a block of " + std::to_string(size) + " bytes";
    if (size < kMinimumSize) {
        if (result || errors != std::vector<std::string>{"Status size error"} || !out.empty()) {
            fuzzsupport::fail("expected false, \"Status size error\" and no entries" + where +
                              "; got " + (result ? "true" : "false") +
                              ", records:" + describe(errors) + "\nmap:" + describe(out));
        }
        return 0;
    }
    if (!result || !errors.empty()) {
        fuzzsupport::fail("expected true and no error record" + where + "; got " +
                          (result ? "true" : "false") + ", records:" + describe(errors));
    }
    const StatusMap expected = testsupport::referenceDecode(data, size);
    if (out != expected) {
        fuzzsupport::fail("map differs from the reference decode" + where +
                          "\ngot:" + describe(out) + "\nexpected:" + describe(expected));
    }
    return 0;
}
