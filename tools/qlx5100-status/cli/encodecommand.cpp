// encode VALUES.json: a block from field values.
#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "commands.h"
#include "encode.h"
#include "escape.h"
#include "exitcodes.h"
#include "input.h"
#include "messages.h"
#include "orvplatform/hostloader.h"
#include "output.h"

namespace qlx5100status {

namespace {

// "line L, column C: what went wrong", counted from the byte the parser
// stopped at, without the library's exception ids.
std::string parseErrorText(const std::vector<std::uint8_t>& text,
                           const nlohmann::json::parse_error& e) {
    const std::size_t at = std::min<std::size_t>(e.byte, text.size());
    std::size_t line = 1;
    std::size_t column = 1;
    for (std::size_t i = 0; i + 1 < at; ++i) {
        column = text[i] == '\n' ? 1 : column + 1;
        line += text[i] == '\n' ? 1 : 0;
    }
    std::string why = e.what();
    const std::size_t colon = why.find(": ");
    why = colon == std::string::npos ? why : why.substr(colon + 2);
    if (at > 0 && at <= text.size() && text[at - 1] == 0) {
        why = "a NUL byte, which JSON has no place for";
    }
    return "not JSON we can read: line " + std::to_string(line) + ", column " +
           std::to_string(column) + ": " + shown(why);
}

}  // namespace

int runEncode(const Mode& mode) {
    const std::string& valuesPath = mode.inputs.front();
    nlohmann::json values;
    std::vector<std::uint8_t> text;
    try {
        text = readBytes(valuesPath);
        // The library keeps the last of two equal keys; a value given twice
        // is a mistake in the file, not a choice to make for its writer.
        std::vector<std::set<std::string>> keys;
        values = nlohmann::json::parse(
            text.begin(), text.end(),
            [&keys](int, nlohmann::json::parse_event_t event, nlohmann::json& parsed) {
                if (event == nlohmann::json::parse_event_t::object_start) {
                    keys.emplace_back();
                } else if (event == nlohmann::json::parse_event_t::object_end) {
                    keys.pop_back();
                } else if (event == nlohmann::json::parse_event_t::key &&
                           !keys.back().insert(parsed.get<std::string>()).second) {
                    throw EncodeError("the key \"" + shown(parsed.get<std::string>()) +
                                      "\" is given twice");
                }
                return true;
            });
    } catch (const InputError& e) {
        printError(e.what());
        return kInputError;
    } catch (const EncodeError& e) {
        printError(displayName(valuesPath) + ": " + e.what());
        return kInputError;
    } catch (const nlohmann::json::parse_error& e) {
        printError(displayName(valuesPath) + ": " + parseErrorText(text, e));
        return kInputError;
    } catch (const nlohmann::json::exception& e) {
        printError(displayName(valuesPath) + ": " + e.what());
        return kInputError;
    }
    std::vector<std::uint8_t> block;
    try {
        std::vector<std::string> skipped;
        block = encodeBlock(plainValues(values, skipped));
        for (const std::string& key : skipped) {
            printNote(displayName(valuesPath) + ": " + shown(key) +
                      " is not a field of the block (a common module's value); left out");
        }
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
