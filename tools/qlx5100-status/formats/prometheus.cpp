#include "prometheus.h"

#include <cctype>
#include <charconv>
#include <map>

#include "escape.h"
#include "fields.h"

namespace qlx5100status {

namespace {

constexpr const char* kPrefix = "qlx5100_";

std::string quotedLabel(const std::string& name, const std::string& raw) {
    return name + "=\"" + labelValue(shown(raw)) + "\"";
}

std::vector<MetricFamily> makeFamilies() {
    std::vector<MetricFamily> families = {
        {std::string(kPrefix) + "decode_success",
         "1 when the input decoded as a status block, 0 when it did not", "", false, false},
        {std::string(kPrefix) + "warnings", "The number of expert warnings about the input", "",
         false, false},
    };
    for (const FieldInfo& f : fieldTable()) {
        bool seen = false;
        for (const MetricFamily& m : families) {
            seen = seen || m.key == f.key;
        }
        if (seen) {
            continue;
        }
        const bool text = f.type == FieldType::Text;
        families.push_back({kPrefix + snakeCase(f.key) + (text ? "_info" : ""),
                            std::string("Status field ") + f.key + " (" + typeName(f.type) +
                                (text ? ") as the label value" : ")"),
                            f.key, text, hasSeveralIndices(f)});
    }
    return families;
}

bool isInteger(const std::string& value) {
    long long number = 0;
    const char* end = value.data() + value.size();
    const auto [ptr, ec] = std::from_chars(value.data(), end, number);
    return !value.empty() && ec == std::errc() && ptr == end;
}

}  // namespace

std::string labelNameProblem(const std::string& name) {
    bool valid = !name.empty() && std::isdigit(static_cast<unsigned char>(name[0])) == 0;
    for (const char c : name) {
        valid = valid && (std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_') &&
                static_cast<unsigned char>(c) < 0x80;
    }
    if (!valid) {
        return "a label name is a letter or '_', then letters, digits and '_'";
    }
    if (name.compare(0, 2, "__") == 0) {
        return "names that start with \"__\" are Prometheus' own";
    }
    if (name == "input" || name == "index" || name == "value") {
        return "the tool's series use the label " + name;
    }
    return "";
}

std::string snakeCase(const std::string& key) {
    std::string out;
    for (std::size_t i = 0; i < key.size(); ++i) {
        const auto c = static_cast<unsigned char>(key[i]);
        if (std::isupper(c) != 0) {
            // A word starts at a capital after a small letter or a digit, and
            // at the last capital of a run that a small letter follows
            // (IDNumber: id_number).
            const bool afterSmall =
                i > 0 && std::isupper(static_cast<unsigned char>(key[i - 1])) == 0;
            const bool endsRun = i > 0 && i + 1 < key.size() &&
                                 std::islower(static_cast<unsigned char>(key[i + 1])) != 0;
            if (!out.empty() && (afterSmall || endsRun) && out.back() != '_') {
                out += '_';
            }
            out += static_cast<char>(std::tolower(c));
        } else {
            out += std::isalnum(c) != 0 ? static_cast<char>(c) : '_';
        }
    }
    return out;
}

const std::vector<MetricFamily>& metricFamilies() {
    static const std::vector<MetricFamily> families = makeFamilies();
    return families;
}

std::string labelValue(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        if (c == '\\' || c == '"') {
            out += '\\';
            out += c;
        } else if (c == '\n') {
            out += "\\n";
        } else {
            out += c;
        }
    }
    return out;
}

PrometheusWriter::PrometheusWriter(const FieldSelection& selection, std::vector<Label> labels)
    : selection_(selection), collected_(metricFamilies().size()) {
    for (const Label& l : labels) {
        constant_ += "," + quotedLabel(l.name, l.value);
    }
}

void PrometheusWriter::series(std::size_t family, const std::string& labels,
                              const std::string& value) {
    std::string& lines = collected_[family];
    lines += metricFamilies()[family].name;
    lines += '{';
    lines += labels;
    lines += constant_;
    lines += "} ";
    lines += value;
    lines += '\n';
}

void PrometheusWriter::add(const Decoded& input) {
    // The name is shown() already.
    const std::string in = "input=\"" + labelValue(*input.name) + "\"";
    series(0, in, input.code == 0 ? "1" : "0");
    series(1, in, std::to_string(input.warnings->size()));
    if (input.code != 0) {
        return;
    }
    const std::vector<MetricFamily>& families = metricFamilies();
    for (std::size_t f = 2; f < families.size(); ++f) {
        const MetricFamily& family = families[f];
        const auto values = input.map->find(family.key);
        if (values == input.map->end()) {
            continue;
        }
        for (const auto& [index, value] : values->second) {
            if (!selection_.selects(family.key, index) || findField(family.key, index) == nullptr) {
                continue;
            }
            std::string labels = in;
            if (family.indexed) {
                labels += ",index=\"" + std::to_string(index) + "\"";
            }
            if (family.info) {
                series(f, labels + "," + quotedLabel("value", value), "1");
            } else if (isInteger(value)) {
                series(f, labels, value);
            }
        }
    }
}

void PrometheusWriter::write(std::ostream& out) {
    const std::vector<MetricFamily>& families = metricFamilies();
    for (std::size_t f = 0; f < families.size(); ++f) {
        if (collected_[f].empty()) {
            continue;
        }
        out << "# HELP " << families[f].name << ' ' << families[f].help << '\n'
            << "# TYPE " << families[f].name << " gauge\n"
            << collected_[f];
        collected_[f].clear();
    }
}

}  // namespace qlx5100status
