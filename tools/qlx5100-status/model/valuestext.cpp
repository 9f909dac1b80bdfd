#include "valuestext.h"

#include <algorithm>
#include <set>

#include <nlohmann/json.hpp>

#include "encode.h"
#include "escape.h"

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

std::vector<std::uint8_t> encodeValuesText(const std::vector<std::uint8_t>& text,
                                           std::vector<std::string>& skipped) {
    nlohmann::json values;
    try {
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
    } catch (const nlohmann::json::parse_error& e) {
        throw EncodeError(parseErrorText(text, e));
    } catch (const nlohmann::json::exception& e) {
        throw EncodeError(e.what());
    }
    return encodeBlock(plainValues(values, skipped));
}

}  // namespace qlx5100status
