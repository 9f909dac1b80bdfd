// encode VALUES.json: a block from field values.
#include <string>
#include <vector>

#include "commands.h"
#include "encode.h"
#include "escape.h"
#include "exitcodes.h"
#include "input.h"
#include "messages.h"
#include "orvplatform/hostloader.h"
#include "output.h"
#include "valuestext.h"

namespace qlx5100status {

int runEncode(const Options& options) {
    std::vector<std::uint8_t> block;
    std::vector<std::string> skipped;
    try {
        block = encodeValuesText(readBytes(options.encodeValues), skipped);
    } catch (const InputError& e) {
        fail(e.what());
        return kInputError;
    } catch (const EncodeError& e) {
        fail(displayName(options.encodeValues) + ": " + e.what());
        return kInputError;
    }
    for (const std::string& key : skipped) {
        fail(displayName(options.encodeValues) + ": " + shown(key) +
             " is not a field of the block (a common module's value); left out");
    }
    if (options.encodeOutput == "-") {
        if (orvplatform::isTerminal(stdout)) {
            fail("not writing a binary block to a terminal; give -o FILE or redirect the output");
            return kUsage;
        }
        orvplatform::setBinaryMode(stdout);
    }
    // Opened only now, so that a refused input leaves the file as it was.
    Output output(options.encodeOutput);
    if (!output.opened()) {
        return kOutputError;
    }
    output.stream().write(reinterpret_cast<const char*>(block.data()),
                          static_cast<std::streamsize>(block.size()));
    return output.finish() ? kOk : kOutputError;
}

}  // namespace qlx5100status
