#include "encode.h"

#include <algorithm>
#include <map>
#include <string>

#include "escape.h"
#include "fields.h"
#include "unitcmnexceptions/unitcmnexceptions.h"
#include "unitcmnparamio/paramioxml.h"

namespace qlx5100status {

namespace {

using nlohmann::json;

long long integerValue(const json& v, const std::string& where) {
    if (v.is_number_integer()) {
        return v.get<long long>();
    }
    if (v.is_string()) {
        const std::string& s = v.get_ref<const std::string&>();
        std::size_t used = 0;
        try {
            const long long value = std::stoll(s, &used, 10);
            if (used == s.size()) {
                return value;
            }
        } catch (const std::exception&) {
        }
        throw EncodeError(where + ": \"" + shown(s) + "\" is not a decimal integer");
    }
    throw EncodeError(where + ": expected an integer, found " + std::string(v.type_name()));
}

void put(std::vector<std::uint8_t>& block, const FieldInfo& f, std::size_t offset, const json& v,
         const std::string& where) {
    if (f.type == FieldType::Text) {
        if (!v.is_string()) {
            throw EncodeError(where + ": expected a string, found " + std::string(v.type_name()));
        }
        // Texts as the tool prints them: "\\" and "\xHH" stand for bytes.
        std::string s;
        try {
            s = ParamIoXML::unescapeText(v.get_ref<const std::string&>());
        } catch (const unitCmnException&) {
            throw EncodeError(where + ": a backslash must start \\\\ or \\xHH");
        }
        if (s.size() > f.width) {
            throw EncodeError(where + ": \"" + shown(s) + "\" is " + std::to_string(s.size()) +
                              " bytes; the field holds " + std::to_string(f.width));
        }
        if (s.find('\0') != std::string::npos) {
            throw EncodeError(where + ": a NUL byte would end the text early");
        }
        std::copy(s.begin(), s.end(), block.begin() + static_cast<std::ptrdiff_t>(offset));
        return;
    }
    const long long value = integerValue(v, where);
    const long long low = typeInfo(f.type).low;
    const long long high = typeInfo(f.type).high;
    if (value < low || value > high) {
        throw EncodeError(where + ": " + std::to_string(value) + " is outside " +
                          std::to_string(low) + ".." + std::to_string(high) + " (" +
                          typeName(f.type) + ")");
    }
    const auto bits = static_cast<unsigned long long>(value);
    if (f.width == 2) {
        block[offset] = static_cast<std::uint8_t>((bits >> 8) & 0xFF);
        block[offset + 1] = static_cast<std::uint8_t>(bits & 0xFF);
    } else {
        block[offset] = static_cast<std::uint8_t>(bits & 0xFF);
    }
}

}  // namespace

json plainValues(const json& input, std::vector<std::string>& skipped) {
    const json* values = &input;
    if (input.is_object() && input.contains("ok") && input.contains("file")) {
        if (input.at("ok") != true || !input.contains("values")) {
            throw EncodeError("the line is of an input that failed: it has no values");
        }
        values = &input.at("values");
    }
    if (!values->is_object()) {
        return *values;  // encodeBlock says what is wrong with it
    }
    json out = json::object();
    for (const auto& item : values->items()) {
        const std::string& key = item.key();
        if (!item.value().is_object()) {
            out[key] = item.value();
            continue;
        }
        const FieldInfo* field = findField(key, 1);
        if (field == nullptr) {
            skipped.push_back(key);
            continue;
        }
        std::map<int, json> byIndex;
        for (const auto& entry : item.value().items()) {
            const std::string& index = entry.key();
            const bool decimal = !index.empty() && index.size() < 6 &&
                                 index.find_first_not_of("0123456789") == std::string::npos;
            const int number = decimal ? std::stoi(index) : 0;
            if (number < 1) {
                throw EncodeError(key + ": \"" + shown(index) + "\" is not an index (1, 2, ...)");
            }
            byIndex[number] = entry.value();
        }
        json list = json::array();
        for (const auto& [index, value] : byIndex) {
            if (index != static_cast<int>(list.size()) + 1) {
                throw EncodeError(key + ": index " + std::to_string(list.size() + 1) +
                                  " is missing");
            }
            list.push_back(value);
        }
        const bool several = hasSeveralIndices(*field);
        if (several) {
            out[key] = std::move(list);
        } else if (list.size() == 1) {
            out[key] = list.front();
        } else {
            throw EncodeError(key + ": has one value, index 1");
        }
    }
    return out;
}

std::vector<std::uint8_t> encodeBlock(const json& values, std::size_t size) {
    if (!values.is_object()) {
        throw EncodeError("expected a JSON object keyed by field name, found " +
                          std::string(values.type_name()));
    }
    std::vector<std::uint8_t> block(size, 0);
    for (const auto& item : values.items()) {
        const std::string& key = item.key();
        std::vector<const FieldInfo*> rows;
        for (const FieldInfo& f : fieldTable()) {
            if (key == f.key) {
                rows.push_back(&f);
            }
        }
        if (rows.empty()) {
            throw UnknownFieldError("unknown field \"" + shown(key) + "\"");
        }
        const FieldInfo& first = *rows.front();
        const bool several = hasSeveralIndices(first);
        if (!several) {
            if (first.type != FieldType::Constant) {
                put(block, first, first.offset, item.value(), key);
            }
            continue;
        }
        if (!item.value().is_array()) {
            throw EncodeError(key + ": expected an array (one value per index), found " +
                              std::string(item.value().type_name()));
        }
        const json& list = item.value();
        const std::size_t room = first.countedBy != nullptr ? roomFor(first) : rows.size();
        if (list.size() > room) {
            throw EncodeError(key + ": " + std::to_string(list.size()) +
                              " values, but the block has room for " + std::to_string(room));
        }
        for (std::size_t i = 0; i < list.size(); ++i) {
            const int index = static_cast<int>(i + 1);
            const std::string where = key + "[" + std::to_string(index) + "]";
            const bool counted = first.countedBy != nullptr;
            const FieldInfo& f = counted ? first : *rows[i];
            if (f.type == FieldType::Constant) {
                if (integerValue(list[i], where) != std::stoll(f.constant)) {
                    throw EncodeError(where + ": is always " + std::string(f.constant) +
                                      " (not stored in the block)");
                }
                continue;
            }
            put(block, f, counted ? f.offset + i * f.width : f.offset, list[i], where);
        }
        if (first.countedBy != nullptr && !values.contains(first.countedBy)) {
            const FieldInfo* count = findField(first.countedBy, 1);
            put(block, *count, count->offset, json(list.size()), first.countedBy);
        }
    }
    return block;
}

}  // namespace qlx5100status
