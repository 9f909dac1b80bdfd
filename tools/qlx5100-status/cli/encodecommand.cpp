// encode VALUES.json: a block from field values.
#include <string>
#include <vector>

#include "commands.h"
#include "encode.h"
#include "exitcodes.h"
#include "input.h"
#include "messages.h"
#include "orvplatform/hostloader.h"
#include "output.h"
#include "valuestext.h"

namespace qlx5100status {

int runEncode(const Mode& mode) {
    const std::string& valuesPath = mode.inputs.front();
    std::vector<std::uint8_t> block;
    try {
        block = encodeValuesText(readBytes(valuesPath, kMaxValuesBytes, tooLargeForValues()));
    } catch (const InputError& e) {
        printError(e.what());
        return kInputError;
    } catch (const UnknownFieldError& e) {
        printError(displayName(valuesPath) + ": " + e.what() +
                   " (qlx5100-status --describe lists them)");
        return kInputError;
    } catch (const EncodeError& e) {
        printError(displayName(valuesPath) + ": " + e.what());
        return kInputError;
    }
    if (mode.output == "-") {
        if (orvplatform::isTerminal(stdout)) {
            printError(
                "not writing a binary block to a terminal; give -o FILE or redirect the output");
            return kUsage;
        }
        orvplatform::setBinaryMode(stdout);
    }
    // Opened only now, so that a refused input leaves the file as it was.
    Output output(mode.output);
    if (!output.opened()) {
        return kOutputError;
    }
    output.stream().write(reinterpret_cast<const char*>(block.data()),
                          static_cast<std::streamsize>(block.size()));
    return output.finish() ? kOk : kOutputError;
}

}  // namespace qlx5100status
