// Expert checks: notes about a block that decoded but looks malformed, worked
// out by the tool from the block and the decoded values. They never change
// what the analyzer decoded; every output that has room for them shows them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "unitcom/statusmap.h"

namespace qlx5100status {

struct Warning {
    std::string key;   // the field the note is about; empty for the block as a whole
    int index = 0;     // its StatusMap index; 0 with an empty key
    std::string text;  // one sentence, no "warning:" prefix
};

// The notes for one analysed block, in offset order of their fields.
std::vector<Warning> checkBlock(const std::vector<std::uint8_t>& block, const StatusMap& map);

}  // namespace qlx5100status
