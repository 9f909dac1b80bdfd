#include "analysis.h"

#include <algorithm>
#include <string_view>

#include "exitcodes.h"
#include "hexdump.h"
#include "logsetup.h"

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
    const LoggedInput logged(name);
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
    // A notes file, or a dump in a form the reader does not know, taken for
    // a binary block: its values are nonsense, and nothing else would say so.
    const std::string_view bytes(reinterpret_cast<const char*>(block_.data()), block_.size());
    const auto lines = std::count(bytes.begin(), bytes.end(), '\n');
    if (!fromDump_ && lines > 0 && isText(bytes)) {
        // First among the notes about the whole block: it explains the others.
        const auto whole = std::find_if(warnings_.begin(), warnings_.end(),
                                        [](const Warning& w) { return w.key.empty(); });
        warnings_.insert(whole, {"", 0,
                                 "the block is text (" + std::to_string(lines) +
                                     " lines of printable characters), not a binary status "
                                     "block; if it is a hex dump, --input-format hex says why "
                                     "it does not read as one"});
    }
    return convert ? this->convert(name) : kOk;
}

int Analysis::convert(const std::string& name) {
    tree_ = ParamIoXML();
    converted_ = true;
    const LoggedInput logged(name);
    if (!modules_.convert(map_, tree_)) {
        error_ = name + ": startConvertXML failed (its log records say why)";
        return kAnalysisFailed;
    }
    return kOk;
}

}  // namespace qlx5100status
