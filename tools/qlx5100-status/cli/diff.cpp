// diff OLD NEW: the decoded values of two blocks, side by side.
#include <algorithm>
#include <utility>

#include "commands.h"
#include "exitcodes.h"
#include "htmlreport.h"
#include "input.h"
#include "messages.h"
#include "output.h"
#include "render.h"

namespace qlx5100status {

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
    auto differences = selectDifferences(compareMaps(before.map(), after.map()), mode.selection);
    const int code = std::max(worst, differences.empty() ? int{kOk} : int{kDifferent});
    Output output(mode.output);
    if (!output.opened()) {
        return kOutputError;
    }
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
