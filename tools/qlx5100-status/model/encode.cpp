#include "encode.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <map>
#include <string>

#include "escape.h"
#include "fields.h"
#include "nearest.h"
#include "unitcmnexceptions/unitcmnexceptions.h"
#include "unitcmnparamio/paramioxml.h"

namespace qlx5100status {

namespace {

using nlohmann::json;

// The text of a number that is no 64-bit integer, as the file wrote it:
// valuestext.cpp keeps such numbers as bytes, a JSON built in code has them
// as doubles.
std::string writtenNumber(const json& v) {
    if (v.is_binary()) {
        const auto& bytes = v.get_binary();
        return std::string(bytes.begin(), bytes.end());
    }
    return v.dump();
}

std::string kindOf(const json& v) {
    return v.is_binary() ? "number" : v.type_name();
}

// A decimal integer with an optional sign, white space around it taken
// alike on both sides. Sets tooLarge for digits beyond 64 bits.
bool decimal(const std::string& text, long long& value, bool& tooLarge) {
    const std::size_t first = text.find_first_not_of(" \t\n\r\f\v");
    const std::size_t last = text.find_last_not_of(" \t\n\r\f\v");
    if (first == std::string::npos) {
        return false;
    }
    std::size_t start = first + (text[first] == '+' ? 1 : 0);
    if (text[first] == '+' && start < text.size() && text[start] == '-') {
        return false;
    }
    const char* begin = text.data() + start;
    const char* end = text.data() + last + 1;
    if (begin == end || (*begin == '-' && begin + 1 == end)) {
        return false;
    }
    const auto [stop, error] = std::from_chars(begin, end, value, 10);
    if (stop != end) {
        return false;
    }
    tooLarge = error == std::errc::result_out_of_range;
    return true;
}

// The value of v as an integer in low..high; the messages quote what was
// written (at most an excerpt of it) and say what the field takes.
long long integerValue(const json& v, const std::string& where, long long low, long long high,
                       const std::string& takes) {
    const std::string range = "; the field takes " + takes;
    long long value = 0;
    std::string written;
    if (v.is_number_unsigned()) {
        const auto u = v.get<unsigned long long>();
        if (u > static_cast<unsigned long long>(LLONG_MAX)) {
            throw EncodeError(where + ": " + std::to_string(u) + " is outside " + takes);
        }
        value = static_cast<long long>(u);
        written = std::to_string(u);
    } else if (v.is_number_integer()) {
        value = v.get<long long>();
        written = std::to_string(value);
    } else if (v.is_binary() || v.is_number_float()) {
        bool tooLarge = false;
        if (decimal(writtenNumber(v), value, tooLarge)) {  // an integer beyond 64 bits
            throw EncodeError(where + ": " + excerpt(writtenNumber(v)) + " is outside " + takes);
        }
        throw EncodeError(where + ": " + excerpt(writtenNumber(v)) + " is not an integer" + range);
    } else if (v.is_string()) {
        const std::string& s = v.get_ref<const std::string&>();
        bool tooLarge = false;
        if (!decimal(s, value, tooLarge)) {
            throw EncodeError(where + ": \"" + excerpt(s) + "\" is not a decimal integer" + range);
        }
        written = "\"" + excerpt(s) + "\"";
        if (tooLarge) {
            throw EncodeError(where + ": " + written + " is outside " + takes);
        }
    } else {
        throw EncodeError(where + ": expected an integer, found " + kindOf(v) + range);
    }
    if (value < low || value > high) {
        throw EncodeError(where + ": " + written + " is outside " + takes);
    }
    return value;
}

void put(std::vector<std::uint8_t>& block, const FieldInfo& f, std::size_t offset, const json& v,
         const std::string& where) {
    if (f.type == FieldType::Text) {
        if (!v.is_string()) {
            throw EncodeError(where + ": expected a string, found " + kindOf(v));
        }
        // Texts as the tool prints them: "\\" and "\xHH" stand for bytes.
        std::string s;
        try {
            s = ParamIoXML::unescapeText(v.get_ref<const std::string&>());
        } catch (const unitCmnException&) {
            throw EncodeError(where + ": a backslash must start \\\\ or \\xHH");
        }
        if (s.size() > f.width) {
            throw EncodeError(where + ": \"" + excerpt(s) + "\" is " + std::to_string(s.size()) +
                              " bytes; the field holds " + std::to_string(f.width));
        }
        if (s.find('\0') != std::string::npos) {
            throw EncodeError(where + ": a NUL byte would end the text early");
        }
        std::copy(s.begin(), s.end(), block.begin() + static_cast<std::ptrdiff_t>(offset));
        return;
    }
    const long long low = typeInfo(f.type).low;
    const long long high = typeInfo(f.type).high;
    const long long value = integerValue(
        v, where, low, high,
        std::to_string(low) + ".." + std::to_string(high) + " (" + typeName(f.type) + ")");
    const auto bits = static_cast<unsigned long long>(value);
    if (f.width == 2) {
        block[offset] = static_cast<std::uint8_t>((bits >> 8) & 0xFF);
        block[offset + 1] = static_cast<std::uint8_t>(bits & 0xFF);
    } else {
        block[offset] = static_cast<std::uint8_t>(bits & 0xFF);
    }
}

std::string unknownField(const std::string& key) {
    const std::string suggestion = nearest(key, fieldKeys());
    return "unknown field \"" + excerpt(key) + "\"" +
           (suggestion.empty() ? std::string() : "; did you mean " + suggestion + "?");
}

// The --format json document's DeviceStatus tree in the StatusMap form: the
// heaters by their No, the pressure settings in order, every other element
// under index 1.
json mapOfDocument(const json& status) {
    if (!status.is_object()) {
        throw EncodeError("DeviceStatus: expected an object, found " + kindOf(status));
    }
    json map = json::object();
    const auto asList = [](const json& v) { return v.is_array() ? v : json::array({v}); };
    for (const auto& item : status.items()) {
        const std::string& key = item.key();
        const json& v = item.value();
        if (key == "Heaters" && v.is_object() && v.contains("Heater")) {
            for (const json& heater : asList(v.at("Heater"))) {
                if (!heater.is_object() || !heater.contains("@No") || !heater["@No"].is_string()) {
                    throw EncodeError("DeviceStatus.Heaters.Heater: each needs its \"@No\"");
                }
                for (const auto& value : heater.items()) {
                    if (value.key() != "@No") {
                        map[value.key()][heater["@No"].get<std::string>()] = value.value();
                    }
                }
            }
        } else if (key == "PinchRollerPressureSettings" && v.is_object() &&
                   v.contains("PinchRollerPressureSetting")) {
            const json list = asList(v.at("PinchRollerPressureSetting"));
            for (std::size_t i = 0; i < list.size(); ++i) {
                map["PinchRollerPressureSetting"][std::to_string(i + 1)] = list[i];
            }
        } else {
            map[key]["1"] = v;
        }
    }
    return map;
}

// The one report of a --format json batch that decoded.
const json& reportOfBatch(const json& batch) {
    const json* report = nullptr;
    std::size_t reports = 0;
    for (const json& entry : batch) {
        if (entry.is_object() && entry.contains("file") && entry.contains("status")) {
            report = &entry.at("status");
            ++reports;
        }
    }
    if (reports != 1) {
        throw EncodeError("a --format json batch with " + std::to_string(reports) +
                          " decoded reports; encode makes one block of one");
    }
    return *report;
}

}  // namespace

json plainValues(const json& input) {
    const json* values = &input;
    const bool batch = input.is_array() && !input.empty() && input.front().is_object() &&
                       input.front().contains("file");
    const json& document = batch ? reportOfBatch(input) : input;
    json converted;
    const bool onlyWarningsBeside =
        document.is_object() && document.size() == 1 + (document.contains("warnings") ? 1 : 0);
    if (onlyWarningsBeside && document.contains("DeviceStatus")) {
        converted = mapOfDocument(document.at("DeviceStatus"));
        values = &converted;
    } else if (input.is_object() && input.contains("ok") && input.contains("file")) {
        if (!input.contains("values")) {  // a --strict line keeps its values
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
            throw UnknownFieldError(unknownField(key));
        }
        std::map<int, json> byIndex;
        for (const auto& entry : item.value().items()) {
            const std::string& index = entry.key();
            const bool decimal = !index.empty() && index.size() < 6 &&
                                 index.find_first_not_of("0123456789") == std::string::npos;
            const int number = decimal ? std::stoi(index) : 0;
            if (number < 1) {
                throw EncodeError(key + ": \"" + excerpt(index) + "\" is not an index (1, 2, ...)");
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
            throw UnknownFieldError(unknownField(key));
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
                const long long always = std::stoll(f.constant);
                if (integerValue(list[i], where, LLONG_MIN, LLONG_MAX, f.constant) != always) {
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
