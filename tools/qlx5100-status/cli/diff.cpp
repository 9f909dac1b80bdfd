// diff OLD NEW: the decoded values of two blocks, side by side, or with
// --bytes every byte that differs.
#include <algorithm>
#include <utility>

#include "commands.h"
#include "exitcodes.h"
#include "fields.h"
#include "htmlreport.h"
#include "input.h"
#include "messages.h"
#include "output.h"
#include "render.h"

namespace qlx5100status {

namespace {

// Blocks whose fields agree may still differ in bytes no field reads or in
// length; "equal" would hide that, so it is said, with where.
std::string unreadDifferences(const std::string (&names)[2], const std::vector<std::uint8_t>& a,
                              const std::vector<std::uint8_t>& b) {
    constexpr std::size_t kShown = 8;
    const std::vector<ByteRun> runs = differingBytes(a, b);
    std::string where;
    for (std::size_t i = 0; i < runs.size() && i < kShown; ++i) {
        where += (i == 0 ? "" : ", ") + hexOffset(runs[i].first) +
                 (runs[i].last == runs[i].first ? "" : ".." + hexOffset(runs[i].last));
    }
    if (runs.size() > kShown) {
        where += " and " + std::to_string(runs.size() - kShown) + " more runs";
    }
    std::string text;
    if (!runs.empty()) {
        text = "differ in bytes no field reads, at " + where;
    }
    if (a.size() != b.size()) {
        text += (text.empty() ? "" : "; ") + names[0] + " is " + std::to_string(a.size()) +
                " bytes, " + names[1] + " " + std::to_string(b.size());
    }
    return text.empty() ? text
                        : names[0] + " and " + names[1] + " decode alike but " + text +
                              " (diff --bytes lists every byte)";
}

}  // namespace

int runDiff(const Mode& mode, const AnalyzerModules& modules) {
    Analysis before(modules, mode.inputFormat);
    Analysis after(modules, mode.inputFormat);
    const std::string names[2] = {displayName(mode.inputs[0]), displayName(mode.inputs[1])};
    int worst = kOk;
    for (int i = 0; i < 2; ++i) {
        Analysis& analysis = i == 0 ? before : after;
        const int code = analysis.run(mode.inputs[i], false);
        if (code != kOk) {
            printError(analysis.error());
            return code;
        }
        worst = std::max(worst, settle(mode, names[i], code, analysis));
    }
    const std::vector<std::uint8_t>& a = before.block();
    const std::vector<std::uint8_t>& b = after.block();
    Output output(mode.output);
    if (!output.opened()) {
        return kOutputError;
    }
    if (mode.bytes) {
        writeByteDifferences(output.stream(), a, b);
        if (a.size() != b.size()) {
            // cmp's own words for a file that ends first.
            printNote("EOF on " + names[a.size() < b.size() ? 0 : 1] + " after byte " +
                      std::to_string(std::min(a.size(), b.size())));
        }
        const int code = std::max(worst, a == b ? int{kOk} : int{kDifferent});
        return output.finish() ? code : kOutputError;
    }
    auto differences = selectDifferences(compareMaps(before.map(), after.map()), mode.selection);
    bool differ = !differences.empty();
    if (!differ && mode.selection.all() && a != b) {
        printNote(unreadDifferences(names, a, b));
        differ = true;
    }
    const int code = std::max(worst, differ ? int{kDifferent} : int{kOk});
    if (mode.format == Format::Html) {
        HtmlReport report(PageKind::Diff);
        report.add(before.decoded(names[0], kOk));
        report.add(after.decoded(names[1], kOk));
        report.setDifferences(std::move(differences));
        output.stream() << report.page();
    } else {
        writeDifferences(output.stream(), differences, mode.format);
    }
    return output.finish() ? code : kOutputError;
}

}  // namespace qlx5100status
