// What changed between the decoded values of two blocks: diff's model, apart
// from how any format writes it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "selection.h"
#include "unitcom/statusmap.h"

namespace qlx5100status {

struct Difference {
    std::string key;
    int index;
    std::optional<std::string> before;  // absent: no such entry
    std::optional<std::string> after;
};

// Every key and index whose entry differs or exists on one side only, in map
// order.
std::vector<Difference> compareMaps(const StatusMap& before, const StatusMap& after);
// A run of consecutive offsets at which two blocks' bytes differ.
struct ByteRun {
    std::size_t first;
    std::size_t last;
};

// The runs of differing bytes within the shorter block's length, in order.
// Fields may decode alike where bytes differ (bytes no field reads), so diff
// asks this too.
std::vector<ByteRun> differingBytes(const std::vector<std::uint8_t>& before,
                                    const std::vector<std::uint8_t>& after);

// Those selection selects, in its order.
std::vector<Difference> selectDifferences(std::vector<Difference> differences,
                                          const FieldSelection& selection);

}  // namespace qlx5100status
