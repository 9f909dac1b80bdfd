#include "valuestext.h"

#include <algorithm>
#include <set>
#include <string>

#include <nlohmann/json.hpp>

#include "encode.h"
#include "escape.h"

namespace qlx5100status {

namespace {

using nlohmann::json;

// "line L, column C: what went wrong", counted from the byte the parser
// stopped at, without the library's exception ids.
std::string parseErrorText(const std::vector<std::uint8_t>& text, std::size_t byte,
                           const std::string& what) {
    const std::size_t at = std::min<std::size_t>(byte, text.size());
    std::size_t line = 1;
    std::size_t column = 1;
    for (std::size_t i = 0; i + 1 < at; ++i) {
        column = text[i] == '\n' ? 1 : column + 1;
        line += text[i] == '\n' ? 1 : 0;
    }
    // The library's message: "[json.exception.ID] where: why; last read: 'TOKEN'"
    // or "[...] number overflow parsing 'TOKEN'".
    std::string why = what.substr(what.find(']') == std::string::npos ? 0 : what.find(']') + 1);
    why = why.substr(why.find_first_not_of(' '));
    const std::size_t colon = why.find(": ");
    why = colon == std::string::npos ? why : why.substr(colon + 2);
    if (at > 0 && at <= text.size() && text[at - 1] == 0) {
        why = "a NUL byte, which JSON has no place for";
    }
    // The token it quotes ('...') may be megabytes.
    const std::size_t open = why.find('\'');
    const std::size_t close = why.rfind('\'');
    why = open < close ? shown(why.substr(0, open + 1)) +
                             excerpt(why.substr(open + 1, close - open - 1)) + "'"
                       : shown(why);
    return "not JSON we can read: line " + std::to_string(line) + ", column " +
           std::to_string(column) + ": " + why;
}

// The document built event by event, so that encode sees what the library's
// own tree would lose or never reach: how deep it nests (the tree's
// destructor and dump() recurse), a key given twice (the library keeps the
// last), and a number that is no 64-bit integer as it was written (kept as
// bytes, a kind JSON text never yields).
class Builder : public nlohmann::json_sax<json> {
public:
    explicit Builder(const std::vector<std::uint8_t>& text) : text_(text) {}

    json take() { return std::move(root_); }

    bool null() override {
        add(nullptr);
        return true;
    }
    bool boolean(bool v) override {
        add(v);
        return true;
    }
    bool number_integer(number_integer_t v) override {
        add(v);
        return true;
    }
    bool number_unsigned(number_unsigned_t v) override {
        add(v);
        return true;
    }
    bool number_float(number_float_t, const string_t& written) override {
        add(json::binary(json::binary_t::container_type(written.begin(), written.end())));
        return true;
    }
    bool string(string_t& v) override {
        add(v);
        return true;
    }
    bool binary(binary_t& v) override {
        add(json::binary(v));
        return true;
    }

    bool start_object(std::size_t) override {
        open(json::object());
        keys_.emplace_back();
        return true;
    }
    bool key(string_t& k) override {
        if (!keys_.back().insert(k).second) {
            throw EncodeError("the key \"" + excerpt(k) + "\" is given twice");
        }
        key_ = k;
        return true;
    }
    bool end_object() override {
        keys_.pop_back();
        open_.pop_back();
        return true;
    }
    bool start_array(std::size_t) override {
        open(json::array());
        return true;
    }
    bool end_array() override {
        open_.pop_back();
        return true;
    }
    bool parse_error(std::size_t byte, const std::string&,
                     const nlohmann::detail::exception& e) override {
        throw EncodeError(parseErrorText(text_, byte, e.what()));
    }

private:
    json* add(json v) {
        if (open_.empty()) {
            root_ = std::move(v);
            return &root_;
        }
        json& parent = *open_.back();
        if (parent.is_array()) {
            parent.push_back(std::move(v));
            return &parent.back();
        }
        json& slot = parent[key_];
        slot = std::move(v);
        return &slot;
    }

    void open(json container) {
        if (open_.size() == kMaxValuesDepth) {
            throw EncodeError("objects and arrays nested deeper than " +
                              std::to_string(kMaxValuesDepth) + " levels");
        }
        open_.push_back(add(std::move(container)));
    }

    const std::vector<std::uint8_t>& text_;
    json root_;
    std::vector<json*> open_;
    std::vector<std::set<std::string>> keys_;
    std::string key_;
};

}  // namespace

std::vector<std::uint8_t> encodeValuesText(const std::vector<std::uint8_t>& text) {
    if (text.size() > kMaxValuesBytes) {
        throw EncodeError(tooLargeForValues());
    }
    Builder builder(text);
    try {
        json::sax_parse(text.begin(), text.end(), &builder);
    } catch (const nlohmann::json::exception& e) {
        throw EncodeError(excerpt(e.what()));
    }
    return encodeBlock(plainValues(builder.take()));
}

std::string tooLargeForValues() {
    return "larger than " + std::to_string(kMaxValuesBytes) +
           " bytes, the most encode reads; not a values file";
}

}  // namespace qlx5100status
