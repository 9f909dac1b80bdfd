// encode VALUES.json: a block from field values.
#include <fstream>
#include <iostream>

#include <nlohmann/json.hpp>

#include "commands.h"
#include "encode.h"
#include "exitcodes.h"
#include "input.h"
#include "messages.h"
#include "orvplatform/hostloader.h"
#include "render.h"

namespace qlx5100status {

int runEncode(const Options& options) {
    nlohmann::json values;
    try {
        const std::vector<std::uint8_t> text = readBytes(options.encodeValues);
        values = nlohmann::json::parse(text.begin(), text.end());
    } catch (const InputError& e) {
        fail(e.what());
        return kInputError;
    } catch (const nlohmann::json::exception& e) {
        fail(displayName(options.encodeValues) + ": " + e.what());
        return kInputError;
    }
    std::vector<std::uint8_t> block;
    try {
        block = encodeBlock(values);
    } catch (const EncodeError& e) {
        fail(displayName(options.encodeValues) + ": " + e.what());
        return kInputError;
    }
    if (options.encodeOutput == "-") {
        if (orvplatform::isTerminal(stdout)) {
            fail("not writing a binary block to a terminal; give -o FILE or redirect the output");
            return kUsage;
        }
        orvplatform::setBinaryMode(stdout);
        std::cout.write(reinterpret_cast<const char*>(block.data()),
                        static_cast<std::streamsize>(block.size()));
        std::cout.flush();
        return std::cout ? kOk : kInputError;
    }
    std::ofstream out(options.encodeOutput, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(block.data()),
              static_cast<std::streamsize>(block.size()));
    out.close();
    if (!out) {
        fail(displayName(options.encodeOutput) + ": cannot write");
        return kInputError;
    }
    return kOk;
}

}  // namespace qlx5100status
