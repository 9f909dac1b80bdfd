// diff OLD NEW: the decoded values of two blocks, side by side.
#include <iostream>
#include <utility>

#include "analysis.h"
#include "commands.h"
#include "exitcodes.h"
#include "htmlreport.h"
#include "input.h"
#include "messages.h"
#include "output.h"
#include "render.h"

namespace qlx5100status {

int runDiff(const Options& options, const AnalyzerModules& modules) {
    if (options.diffOld == "-" && options.diffNew == "-") {
        fail("standard input ('-') can be read only once");
        return kUsage;
    }
    const InputFormat format = parseInputFormat(options.inputFormat);
    Analysis before(modules, format);
    Analysis after(modules, format);
    for (auto [analysis, path] :
         {std::pair{&before, &options.diffOld}, {&after, &options.diffNew}}) {
        const int code = analysis->run(*path, false);
        if (code != kOk) {
            fail(analysis->error());
            return code;
        }
    }
    auto differences = selectDifferences(compareMaps(before.map(), after.map()), options.selection);
    const int code = differences.empty() ? kOk : kDifferent;
    Output output(options.output);
    if (!output.opened()) {
        return kOutputError;
    }
    std::ostream& out = output.stream();
    if (options.format == "html") {
        HtmlReport report(PageKind::Diff);
        report.add(displayName(options.diffOld), kOk, "", before.block(), before.map());
        report.add(displayName(options.diffNew), kOk, "", after.block(), after.map());
        report.setDifferences(std::move(differences));
        out << report.page();
    } else if (options.format == "json") {
        out << dumpJson(differencesJson(differences)) << '\n';
    } else if (!differences.empty()) {
        writeDifferences(out, differences);
    }
    return output.finish() ? code : kOutputError;
}

}  // namespace qlx5100status
