#include "analysis.h"

#include "exitcodes.h"

namespace qlx5100status {

int Analysis::run(const std::string& path, bool convert) {
    fromDump_ = false;
    try {
        block_ = readInput(path, format_, &fromDump_);
    } catch (const InputError& e) {
        // Not the previous input's bytes: a report shows a refused
        // input's block.
        block_.clear();
        return refuse(e.what());
    }
    const int code = analyse(displayName(path), convert);
    fromDump_ = false;
    return code;
}

int Analysis::refuse(std::string error) {
    map_.clear();
    tree_ = ParamIoXML();
    warnings_.clear();
    converted_ = false;
    error_ = std::move(error);
    return kInputError;
}

int Analysis::analyse(const std::string& name, bool convert) {
    map_.clear();
    converted_ = false;
    error_.clear();
    warnings_.clear();
    // A short block still goes to the analyzer, which refuses it with a
    // record of its own; the tool adds which file it was.
    const bool analysed =
        modules_.analyse(reinterpret_cast<char*>(block_.data()), block_.size(), map_);
    if (block_.size() < OrvStatusAnalyzerQLX5100::kMinimumStatusSize) {
        error_ = name + ": the status block is " + std::to_string(block_.size()) +
                 " bytes; the analyzer needs at least " +
                 std::to_string(OrvStatusAnalyzerQLX5100::kMinimumStatusSize) +
                 (fromDump_ && format_ == InputFormat::Auto
                      ? " (read as a hex dump; --input-format binary reads the file as it is)"
                      : "");
        return kInputError;
    }
    if (!analysed) {
        error_ = name + ": startStatusAnalysis failed (its log records say why)";
        return kAnalysisFailed;
    }
    warnings_ = checkBlock(block_, map_);
    return convert ? this->convert(name) : kOk;
}

int Analysis::convert(const std::string& name) {
    tree_ = ParamIoXML();
    converted_ = true;
    if (!modules_.convert(map_, tree_)) {
        error_ = name + ": startConvertXML failed (its log records say why)";
        return kAnalysisFailed;
    }
    return kOk;
}

}  // namespace qlx5100status
