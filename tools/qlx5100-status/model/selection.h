// The fields a user picked with -e KEY / -e KEY[INDEX], in the order given:
// the one notion of "the selected fields" that the table, csv, tsv, ndjson
// and diff share. An empty selection is every entry, in map order.
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

#include "unitcom/statusmap.h"

namespace qlx5100status {

// The message says what was wrong; the command line is the user's to fix.
class SelectionError : public std::runtime_error {
    using std::runtime_error::runtime_error;
};

struct Entry {
    const std::string* key;
    int index;
    const std::string* value;
};

class FieldSelection {
public:
    FieldSelection() = default;

    // Every one a key of the field dictionary, optionally with an index it
    // has (decimal, leading zeros dropped). Throws SelectionError for the
    // first that is not. A choice that earlier ones already cover is dropped.
    explicit FieldSelection(const std::vector<std::string>& wanted);

    bool all() const { return choices_.empty(); }

    // The entries of map it selects, in its order (a key alone: each of its
    // indices, in index order); a choice map lacks gives none. Cleared first.
    void entries(const StatusMap& map, std::vector<Entry>& out) const;

    // Whether key[index] is selected.
    bool selects(const std::string& key, int index) const;

    // The position of key[index] in the order given (all(): 0), or -1.
    int rank(const std::string& key, int index) const;

    struct Choice {
        std::string key;
        int index;          // 0: every index
        std::string given;  // as given, for "KEY[INDEX]" names
    };
    const std::vector<Choice>& choices() const { return choices_; }

private:
    std::vector<Choice> choices_;
};

}  // namespace qlx5100status
