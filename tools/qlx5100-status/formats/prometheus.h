// --format prometheus: the text exposition format (0.0.4) that
// node_exporter's textfile collector reads. The names are a promise to
// dashboards and alert rules, so they come from the field dictionary by one
// rule and nowhere else.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "decoded.h"
#include "selection.h"

namespace qlx5100status {

// A constant label for every series (--label NAME=VALUE); the value as
// given, shown() and escaped when written.
struct Label {
    std::string name;
    std::string value;
};

// Why name cannot be a constant label: not a label name of the format, one
// the format keeps for itself ("__"), or one the tool's series use (input,
// index, value). "" when it can.
std::string labelNameProblem(const std::string& name);

// "HeaterTemperature" -> "heater_temperature".
std::string snakeCase(const std::string& key);

// One metric family the tool can write.
struct MetricFamily {
    std::string name;  // "qlx5100_heater_temperature"
    std::string help;
    std::string key;  // the dictionary key; "" for the tool's own families
    bool info;        // a text: {value="..."} 1
    bool indexed;     // has the label index
};

// Every family, in the order they are written: the tool's own two first,
// then the dictionary's keys in its order.
const std::vector<MetricFamily>& metricFamilies();

// Label values as the format escapes them: backslash, double quote, line
// feed. The text should be shown() first.
std::string labelValue(const std::string& text);

// Collects the series of every input given, and writes them as one
// exposition, each family once, its series in the order of the inputs.
class PrometheusWriter {
public:
    PrometheusWriter(const FieldSelection& selection, std::vector<Label> labels);

    // A failed input gets only decode_success 0 and its warnings; keys the
    // dictionary does not know are left out (the command loop notes them).
    void add(const Decoded& input);

    // Writes everything added since the last write, then forgets it.
    void write(std::ostream& out);

private:
    void series(std::size_t family, const std::string& labels, const std::string& value);

    const FieldSelection& selection_;
    std::string constant_;                // ,name="value"... for every series
    std::vector<std::string> collected_;  // the series lines, by family
};

}  // namespace qlx5100status
