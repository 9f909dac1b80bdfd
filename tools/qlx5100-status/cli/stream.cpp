// --stream: one input as consecutive blocks, each decoded and printed (and
// flushed) as soon as it is complete. Nothing accumulates: the analysis and
// the printer reuse their buffers, so memory stays flat however long the
// stream runs.
#include <algorithm>
#include <memory>

#include "analysis.h"
#include "commands.h"
#include "exitcodes.h"
#include "messages.h"
#include "output.h"
#include "printer.h"
#include "streaminput.h"

namespace qlx5100status {

int runStream(const Options& options, const AnalyzerModules& modules) {
    const std::string path = options.inputs.empty() ? "-" : options.inputs.front();
    std::unique_ptr<BlockStream> in;
    try {
        in = std::make_unique<BlockStream>(path, options.blockSize);
    } catch (const InputError& e) {
        fail(e.what());
        return kInputError;
    }
    Output output(options.output);
    if (!output.opened()) {
        return kOutputError;
    }
    Analysis analysis(modules, InputFormat::Binary);
    Printer printer(output.stream(), options, options.selection, true);
    int worst = kOk;
    printer.begin();
    for (unsigned long long n = 1;; ++n) {
        const std::string name = in->name() + "#" + std::to_string(n);
        BlockStream::Got got;
        try {
            got = in->next(analysis.block());
        } catch (const InputError& e) {
            fail(e.what());
            worst = std::max(worst, static_cast<int>(kInputError));
            break;
        }
        if (got == BlockStream::Got::End) {
            break;
        }
        const int code = got == BlockStream::Got::Block
                             ? analysis.analyse(name, false)
                             : analysis.refuse(name + ": the stream ended " +
                                               std::to_string(analysis.block().size()) +
                                               " bytes into the block, " +
                                               std::to_string(options.blockSize) + " needed");
        worst = std::max(worst, printer.named(name, code, analysis));
        output.stream().flush();
        if (got == BlockStream::Got::Partial || !output.stream()) {
            break;
        }
    }
    printer.end();
    return output.finish() ? worst : kOutputError;
}

}  // namespace qlx5100status
