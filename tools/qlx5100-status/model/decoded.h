// One input as the analysis left it, seen by whatever writes it: its name,
// its exit code and error, its bytes, the map, the tree (when converted) and
// the expert checks' warnings. A view: the analysis owns everything.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "unitcmnparamio/paramioxml.h"
#include "unitcom/statusmap.h"
#include "warnings.h"

namespace qlx5100status {

struct Decoded {
    const std::string* name;  // as shown()
    int code;                 // 0: decoded
    const std::string* error;
    const std::vector<std::uint8_t>* block;
    const StatusMap* map;
    const ParamIoXML* tree;  // null unless the map was converted
    const std::vector<Warning>* warnings;
};

}  // namespace qlx5100status
