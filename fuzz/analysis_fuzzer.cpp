// startStatusAnalysis through the built analyzer with the shipped common
// module, on any bytes and any size. The block ends right before an
// unreadable page, so that a read past its size faults, which the guard turns
// into a logged false.
//
// Property: a block under 1024 bytes gives false with the one error record
// "Status size error" and an untouched map; any other block gives true, no
// error record, and exactly the map of the reference decode (the shipped
// common module adds no entries).
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const testsupport::GuardedBlock block(size, data);
    StatusMap out;
    const bool result = fuzzsupport::analyzer().analyse(block.data(), size, out);
    const std::vector<std::string> errors = fuzzsupport::errorRecords();
    const bool refused = size < OrvStatusAnalyzerQLX5100::kMinimumStatusSize;
    const StatusMap expected = refused ? StatusMap{} : testsupport::referenceDecode(data, size);
    if (result == refused || out != expected ||
        errors != (refused ? std::vector<std::string>{"Status size error"}
                           : std::vector<std::string>{})) {
        std::string got;
        for (const auto& [key, entries] : out) {
            for (const auto& [index, value] : entries) {
                got += " " + key + "[" + std::to_string(index) +
                       "]=" + fuzzsupport::printable(value) +
                       (expected.count(key) && expected.at(key).count(index) &&
                                expected.at(key).at(index) == value
                            ? ""
                            : " (unexpected)");
            }
        }
        fuzzsupport::fail("a block of " + std::to_string(size) + " bytes gave " +
                          (result ? "true" : "false") + ", " + std::to_string(errors.size()) +
                          " error records (" +
                          (errors.empty() ? "" : fuzzsupport::printable(errors[0])) + ") and" +
                          got + "; expected " + std::to_string(expected.size()) + " keys");
    }
    return 0;
}
