// diff OLD NEW: the decoded values of two blocks, side by side.
#include <iostream>
#include <utility>

#include "analysis.h"
#include "commands.h"
#include "exitcodes.h"
#include "input.h"
#include "messages.h"
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
    const auto differences = compareMaps(before.map(), after.map());
    if (options.format == "json") {
        std::cout << dumpJson(differencesJson(differences)) << '\n';
    } else if (!differences.empty()) {
        writeDifferences(std::cout, differences);
    }
    return differences.empty() ? kOk : kDifferent;
}

}  // namespace qlx5100status
