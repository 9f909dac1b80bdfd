// --stream: one input as consecutive blocks, each decoded and written (and
// flushed) as soon as it is complete. Nothing accumulates: the analysis and
// the writer reuse their buffers, so memory stays flat however long the
// stream runs.
#include <algorithm>
#include <memory>

#include "commands.h"
#include "exitcodes.h"
#include "messages.h"
#include "output.h"
#include "streaminput.h"
#include "writer.h"

namespace qlx5100status {

int runStream(const Mode& mode, const AnalyzerModules& modules) {
    const std::string path = mode.inputs.empty() ? "-" : mode.inputs.front();
    std::unique_ptr<BlockStream> in;
    try {
        in = std::make_unique<BlockStream>(path, mode.blockSize);
    } catch (const InputError& e) {
        printError(e.what());
        return kInputError;
    }
    Output output(mode.output);
    if (!output.opened()) {
        return kOutputError;
    }
    Analysis analysis(modules, InputFormat::Binary);
    Writer writer(output.stream(), mode.format, mode.annotate, mode.selection, true);
    int worst = kOk;
    writer.begin();
    for (unsigned long long n = 1;; ++n) {
        const std::string name = in->name() + "#" + std::to_string(n);
        BlockStream::Got got;
        try {
            got = in->next(analysis.block());
        } catch (const InputError& e) {
            printError(e.what());
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
                                               std::to_string(mode.blockSize) + " needed");
        const std::string problem = writer.write(analysis.decoded(name, code));
        worst = std::max(worst, settle(mode, name, code, analysis, problem));
        output.stream().flush();
        if (got == BlockStream::Got::Partial || !output.stream()) {
            break;
        }
    }
    writer.end();
    return output.finish() ? worst : kOutputError;
}

}  // namespace qlx5100status
