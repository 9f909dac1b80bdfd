// --format ndjson: one JSON object per input per line, for log pipelines and
// jq.
#include <charconv>

#include "escape.h"
#include "fields.h"
#include "lineformats.h"

namespace qlx5100status {

namespace {

// A number where the field is one and the text reads as one.
Json typed(const FieldInfo* field, const std::string& value) {
    if (field != nullptr && field->type != FieldType::Text) {
        long long number = 0;
        const char* end = value.data() + value.size();
        const auto [ptr, ec] = std::from_chars(value.data(), end, number);
        if (ec == std::errc() && ptr == end) {
            return number;
        }
    }
    return shown(value);
}

bool indexed(const FieldInfo& field) {
    return field.countedBy != nullptr || findField(field.key, 2) != nullptr;
}

Json keyValues(const std::string& key, const std::map<int, std::string>& values) {
    const FieldInfo* field = findField(key, 1);
    if (field == nullptr) {
        Json object = Json::object();
        for (const auto& [index, value] : values) {
            object[std::to_string(index)] = shown(value);
        }
        return object;
    }
    if (!indexed(*field)) {
        const auto one = values.find(1);
        return one != values.end() ? typed(field, one->second) : Json(nullptr);
    }
    Json list = Json::array();
    for (const auto& [index, value] : values) {
        list.push_back(typed(findField(key, index), value));
    }
    return list;
}

}  // namespace

Json typedValues(const StatusMap& map, const FieldSelection& selection) {
    Json values = Json::object();
    if (selection.all()) {
        for (const auto& [key, entries] : map) {
            values[shown(key)] = keyValues(key, entries);
        }
        return values;
    }
    for (const FieldSelection::Choice& c : selection.choices()) {
        const auto k = map.find(c.key);
        if (k == map.end()) {
            continue;
        }
        if (c.index == 0) {
            values[c.key] = keyValues(c.key, k->second);
        } else if (k->second.count(c.index) != 0) {
            values[c.given] = typed(findField(c.key, c.index), k->second.at(c.index));
        }
    }
    return values;
}

void writeNdjsonLine(std::ostream& out, const std::string& name, int code, const std::string& error,
                     const StatusMap& map, const std::vector<Warning>& warnings,
                     const FieldSelection& selection) {
    Json line = Json::object();
    line["file"] = name;
    line["ok"] = code == 0;
    if (code != 0) {
        line["error"] = error;
        line["exit"] = code;
    } else {
        line["values"] = typedValues(map, selection);
        Json notes = Json::array();
        for (const Warning& w : warnings) {
            Json note = Json::object();
            note["key"] = w.key.empty() ? Json(nullptr) : Json(w.key);
            note["index"] = w.key.empty() ? Json(nullptr) : Json(w.index);
            note["text"] = w.text;
            notes.push_back(std::move(note));
        }
        line["warnings"] = std::move(notes);
    }
    // Strict, like every JSON the tool writes: a text that is not UTF-8
    // would be a fault of ours, not something to paper over.
    out << line.dump(-1, ' ', false, nlohmann::json::error_handler_t::strict) << '\n';
}

}  // namespace qlx5100status
