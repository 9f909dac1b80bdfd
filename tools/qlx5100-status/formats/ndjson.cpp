// --format ndjson: one JSON object per input per line, for log pipelines and
// jq. The line is written as text rather than built as a JSON object: for a
// stream the object cost more than decoding the block. What does not change
// from block to block (a key's dictionary row, its name as JSON) is looked up
// once.
#include <algorithm>
#include <charconv>

#include "escape.h"
#include "fields.h"
#include "lineformats.h"

namespace qlx5100status {

void NdjsonWriter::quoted(const std::string& text) {
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u >= 0x80 || c == '"' || c == '\\') {
            // Rare in shown() texts: the library's own escaping, strict like
            // every JSON the tool writes (a text that is not UTF-8 would be a
            // fault of ours, not something to paper over).
            line_ += Json(text).dump(-1, ' ', false, nlohmann::json::error_handler_t::strict);
            return;
        }
    }
    line_ += '"';
    line_ += text;
    line_ += '"';
}

void NdjsonWriter::separate(bool& first) {
    if (!first) {
        line_ += ',';
    }
    first = false;
}

void NdjsonWriter::member(const std::string& key) {
    quoted(key);
    line_ += ':';
}

// A number where the field is one and the text reads as one.
void NdjsonWriter::typed(const FieldInfo* field, const std::string& value) {
    if (field != nullptr && field->type != FieldType::Text) {
        long long number = 0;
        const char* end = value.data() + value.size();
        const auto [ptr, ec] = std::from_chars(value.data(), end, number);
        if (ec == std::errc() && ptr == end) {
            char digits[24];
            line_.append(digits, std::to_chars(digits, digits + sizeof digits, number).ptr);
            return;
        }
    }
    quoted(shown(value));
}

const FieldInfo* NdjsonWriter::Plan::row(int index) {
    if (index < 0 || index > 255) {
        return findField(key, index);
    }
    if (rows.size() <= static_cast<std::size_t>(index)) {
        rows.resize(index + 1, {false, nullptr});
    }
    auto& [known, row] = rows[index];
    if (!known) {
        known = true;
        row = findField(key, index);
    }
    return row;
}

NdjsonWriter::Plan NdjsonWriter::plan(const std::string& key, std::string jsonName) {
    Plan p;
    p.key = key;
    p.name = std::move(jsonName);
    p.field = findField(key, 1);
    p.indexed = p.field != nullptr && hasSeveralIndices(*p.field);
    return p;
}

NdjsonWriter::NdjsonWriter(const FieldSelection& selection) : all_(selection.all()) {
    for (const FieldSelection::Choice& c : selection.choices()) {
        const std::string& label = c.index == 0 ? c.key : c.given;
        const auto sameKey = [&c](const Chosen& e) { return e.plan.key == c.key; };
        const auto first = std::find_if(chosen_.begin(), chosen_.end(), [&](const Chosen& e) {
            return e.label == label || (c.index == 0 && sameKey(e));
        });
        // A choice given twice is one member, where it was first given.
        if (first != chosen_.end() && first->label == label) {
            continue;
        }
        line_.clear();
        member(label);
        if (first == chosen_.end()) {
            chosen_.push_back({label, c.index, plan(c.key, line_)});
            continue;
        }
        // A whole key after some of its indices: one member holding every
        // index, where the first of them stood, so that no value is written
        // twice.
        *first = {label, 0, plan(c.key, line_)};
        chosen_.erase(std::remove_if(first + 1, chosen_.end(), sameKey), chosen_.end());
    }
}

void NdjsonWriter::keyValues(Plan& p, const std::map<int, std::string>& values) {
    line_ += p.name;
    if (p.field == nullptr) {
        line_ += '{';
        bool first = true;
        for (const auto& [index, value] : values) {
            separate(first);
            member(std::to_string(index));
            quoted(shown(value));
        }
        line_ += '}';
        return;
    }
    if (!p.indexed) {
        const auto one = values.find(1);
        if (one == values.end()) {
            line_ += "null";
        } else {
            typed(p.field, one->second);
        }
        return;
    }
    line_ += '[';
    bool first = true;
    for (const auto& [index, value] : values) {
        separate(first);
        typed(p.row(index), value);
    }
    line_ += ']';
}

void NdjsonWriter::values(const StatusMap& map) {
    line_ += '{';
    bool first = true;
    if (all_) {
        // The map's keys are the same block after block: a plan per position,
        // made again only where the key there changed.
        std::size_t i = 0;
        for (const auto& [key, entries] : map) {
            if (i == byPosition_.size()) {
                byPosition_.emplace_back();
            }
            if (byPosition_[i].key != key || byPosition_[i].name.empty()) {
                const std::size_t at = line_.size();
                member(shown(key));
                byPosition_[i] = plan(key, line_.substr(at));
                line_.resize(at);
            }
            separate(first);
            keyValues(byPosition_[i], entries);
            ++i;
        }
    } else {
        for (Chosen& c : chosen_) {
            const auto k = map.find(c.plan.key);
            if (k == map.end()) {
                continue;
            }
            if (c.index == 0) {
                separate(first);
                keyValues(c.plan, k->second);
            } else if (const auto v = k->second.find(c.index); v != k->second.end()) {
                separate(first);
                line_ += c.plan.name;
                typed(c.plan.row(c.index), v->second);
            }
        }
    }
    line_ += '}';
}

void NdjsonWriter::write(std::ostream& out, const std::string& file, int code,
                         const std::string& error, const StatusMap& map,
                         const std::vector<Warning>& warnings, bool strict) {
    line_.clear();
    line_ += "{\"file\":";
    quoted(file);
    if (code != 0) {
        line_ += ",\"ok\":false,\"error\":";
        quoted(error);
        line_ += ",\"exit\":";
        line_ += std::to_string(code);
    } else {
        const bool refused = strict && !warnings.empty();
        line_ += refused ? ",\"ok\":false,\"exit\":3,\"values\":" : ",\"ok\":true,\"values\":";
        values(map);
        line_ += ",\"warnings\":[";
        bool first = true;
        for (const Warning& w : warnings) {
            separate(first);
            line_ += "{\"key\":";
            if (w.key.empty()) {
                line_ += "null,\"index\":null";
            } else {
                quoted(w.key);
                line_ += ",\"index\":";
                line_ += std::to_string(w.index);
            }
            line_ += ",\"text\":";
            quoted(w.text);
            line_ += '}';
        }
        line_ += ']';
    }
    line_ += "}\n";
    out.write(line_.data(), static_cast<std::streamsize>(line_.size()));
}

}  // namespace qlx5100status
