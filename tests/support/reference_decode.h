// The model fields of a status block as the device documents them, decoded
// independently of the analyzer's code: what startStatusAnalysis must put
// into an empty map for a block of at least 1024 bytes when the common
// module adds no entries of its own (the shipped one). Header-only, so that
// the fuzz targets can use it without the test support library.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "unitcom/statusmap.h"

namespace testsupport {

namespace detail {

// The classic locale's white space: the tests never change the locale.
inline bool isSpace(std::uint8_t c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// The field's bytes up to the first NUL, without leading and trailing space.
inline std::string fieldText(const std::uint8_t* b, std::size_t at, std::size_t width) {
    std::size_t end = 0;
    while (end < width && b[at + end] != 0) {
        ++end;
    }
    std::size_t begin = 0;
    while (begin < end && isSpace(b[at + begin])) {
        ++begin;
    }
    while (end > begin && isSpace(b[at + end - 1])) {
        --end;
    }
    return std::string(reinterpret_cast<const char*>(b + at + begin), end - begin);
}

}  // namespace detail

inline StatusMap referenceDecode(const std::uint8_t* b, std::size_t size) {
    const auto s8 = [b](std::size_t at) { return std::to_string(static_cast<std::int8_t>(b[at])); };
    const auto u8 = [b](std::size_t at) { return std::to_string(b[at]); };
    StatusMap m;
    for (int n = 1; n <= 4; ++n) {
        const std::size_t at = 0x44 + 2 * static_cast<std::size_t>(n - 1);
        m["HeaterNumber"][n] = std::to_string(n);
        m["HeaterTemperature"][n] = s8(at);
        m["HeaterStatus"][n] = u8(at + 1);
    }
    m["CuttingCommandName"][1] = detail::fieldText(b, 0x334, 8);
    m["CuttingCommandVersion"][1] = detail::fieldText(b, 0x33C, 4);
    m["TotalPinchRoller"][1] = u8(0x340);
    m["ActivatedPinchRoller"][1] = u8(0x341);
    // The count may run over the fields after the 16-entry table, but never
    // past the end of the block.
    constexpr std::size_t kTable = 0x342;
    for (std::size_t i = 1; i <= b[0x341] && kTable + i - 1 < size; ++i) {
        m["PinchRollerPressureSetting"][static_cast<int>(i)] = u8(kTable + i - 1);
    }
    m["ToolStatus"][1] = u8(0x352);
    m["OperationMode"][1] = u8(0x353);
    m["RegisterMarkType"][1] = u8(0x354);
    m["MultiFunctionJobStatus"][1] = u8(0x355);
    m["PrintAndCut"][1] = std::to_string((b[0x35A] << 8) | b[0x35B]);
    m["MultiLayerPrintingInformation"][1] = u8(0x365);
    return m;
}

}  // namespace testsupport
