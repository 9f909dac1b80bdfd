// --stream: one input as consecutive blocks, each decoded and written (and
// flushed) as soon as it is complete. Nothing accumulates: the analysis and
// the writer reuse their buffers, so memory stays flat however long the
// stream runs.
#include <algorithm>
#include <memory>
#include <set>

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
    // A snapshot format (prometheus) writes each block as a document of its
    // own, put in place before the next block is read: -o FILE always holds
    // the latest block. The others are written to FILE as they go.
    const bool snapshot = !mode.annotate && formatInfo(mode.format).snapshot;
    const auto open = [&mode, snapshot] {
        return std::make_unique<Output>(
            mode.output, snapshot ? Output::Writing::WholeRun : Output::Writing::AsItGoes);
    };
    const auto writerFor = [&mode](Output& output) {
        auto writer = std::make_unique<Writer>(output.stream(), mode.format, mode.annotate,
                                               mode.selection, true, mode.labels);
        applyOutputSettings(*writer, mode);
        return writer;
    };
    std::unique_ptr<Output> output = open();
    if (!output->opened()) {
        return kOutputError;
    }
    Analysis analysis(modules, InputFormat::Binary);
    std::unique_ptr<Writer> writer = writerFor(*output);
    int worst = kOk;
    std::set<std::string> noted;
    writer->begin();
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
        const Decoded decoded = analysis.decoded(name, code);
        const std::string problem = writer->write(decoded);
        noteLeftOut(mode, name, *decoded.map, noted);
        worst = std::max(worst, settle(mode, name, code, analysis, problem));
        if (snapshot) {
            writer->end();
            output->stream().flush();
            if (!output->finish()) {
                return kOutputError;
            }
            output = open();
            if (!output->opened()) {
                return kOutputError;
            }
            writer = writerFor(*output);
            writer->begin();
        } else {
            output->stream().flush();
        }
        if (got == BlockStream::Got::Partial || !output->stream()) {
            break;
        }
    }
    if (snapshot) {
        // The file in place holds the last block; the one opened for a next
        // block that never came goes with its Output.
        return worst;
    }
    writer->end();
    return output->finish() ? worst : kOutputError;
}

}  // namespace qlx5100status
