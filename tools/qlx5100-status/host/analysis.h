// One block through both exports, as a host calls them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "decoded.h"
#include "input.h"
#include "modules.h"
#include "unitcmnparamio/paramioxml.h"
#include "unitcom/statusmap.h"
#include "warnings.h"

namespace qlx5100status {

// Holds the block, the map and the tree of the last input it ran, so that a
// batch reuses them instead of allocating afresh for every file.
class Analysis {
public:
    Analysis(const AnalyzerModules& modules, InputFormat format)
        : modules_(modules), format_(format) {}

    // Reads path, analyses it and, when convert is set, converts the map
    // into the tree. Returns an exit code and, for a failure, says why in
    // error(); a block that decoded has its expert checks' warnings().
    int run(const std::string& path, bool convert);

    // The same for the bytes already in block(), named name (shown()).
    int analyse(const std::string& name, bool convert);

    // Converts the map of the last analyse() into the tree: kOk, or
    // kAnalysisFailed with error(). The conversion looks keys up with
    // insert-on-miss, so whatever is written from the map alone (ndjson, the
    // C interface's record) is made before it.
    int convert(const std::string& name);

    // Records a failure of the input itself (error names it): kInputError.
    int refuse(std::string error);

    // The last input as a writer sees it, named name, with code (run()'s or
    // analyse()'s); the tree only when it was converted.
    Decoded decoded(const std::string& name, int code) const {
        return {&name, code, &error_, &block_, &map_, converted_ ? &tree_ : nullptr, &warnings_};
    }

    std::vector<std::uint8_t>& block() { return block_; }
    const StatusMap& map() const { return map_; }
    const ParamIoXML& tree() const { return tree_; }
    const std::string& error() const { return error_; }
    const std::vector<Warning>& warnings() const { return warnings_; }

private:
    const AnalyzerModules& modules_;
    InputFormat format_;
    bool converted_ = false;
    bool fromDump_ = false;  // run() read the block from a dump auto detection chose
    std::vector<std::uint8_t> block_;
    StatusMap map_;
    ParamIoXML tree_;
    std::string error_;
    std::vector<Warning> warnings_;
};

}  // namespace qlx5100status
