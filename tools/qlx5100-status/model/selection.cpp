#include "selection.h"

#include <algorithm>

#include "escape.h"
#include "fields.h"

namespace qlx5100status {

namespace {

// The highest index key has (0 for a key the dictionary does not know): for
// a table the block counts, the most its count can say.
int lastIndex(const std::string& key) {
    const FieldInfo* first = findField(key, 1);
    if (first != nullptr && first->countedBy != nullptr) {
        return static_cast<int>(typeInfo(findField(first->countedBy, 1)->type).high);
    }
    int last = 0;
    while (findField(key, last + 1) != nullptr) {
        ++last;
    }
    return last;
}

}  // namespace

FieldSelection::FieldSelection(const std::vector<std::string>& wanted) {
    for (const std::string& given : wanted) {
        Choice choice{given, 0, given};
        const std::size_t open = given.find('[');
        std::string digits;
        if (open != std::string::npos) {
            digits = given.substr(open + 1, given.size() - open - 2);
            const bool wellFormed = given.back() == ']' && !digits.empty() &&
                                    digits.find_first_not_of("0123456789") == std::string::npos;
            if (!wellFormed) {
                throw SelectionError(excerpt(given) + ": expected KEY or KEY[INDEX]");
            }
            choice.key = given.substr(0, open);
        }
        const int last = lastIndex(choice.key);
        if (last == 0) {
            throw SelectionError(excerpt(given) + ": unknown field");
        }
        if (open != std::string::npos) {
            // Any number of digits; leading zeros name the same index.
            const std::size_t first = std::min(digits.find_first_not_of('0'), digits.size());
            digits.erase(0, first);
            const int index = digits.empty() || digits.size() > 9 ? 0 : std::stoi(digits);
            if (index < 1 || index > last) {
                throw SelectionError(excerpt(given) + ": index out of range (" + choice.key +
                                     " has 1.." + std::to_string(last) + ")");
            }
            choice.index = index;
            choice.given = choice.key + "[" + digits + "]";
        }
        // A field chosen twice is shown once, where it was first chosen.
        if (choices_.empty() || rank(choice.key, choice.index) < 0) {
            choices_.push_back(std::move(choice));
        }
    }
}

void FieldSelection::entries(const StatusMap& map, std::vector<Entry>& out) const {
    out.clear();
    if (all()) {
        for (const auto& [key, values] : map) {
            for (const auto& [index, value] : values) {
                out.push_back({&key, index, &value});
            }
        }
        return;
    }
    for (std::size_t i = 0; i < choices_.size(); ++i) {
        const Choice& c = choices_[i];
        const auto k = map.find(c.key);
        if (k == map.end()) {
            continue;
        }
        for (const auto& [index, value] : k->second) {
            // An entry two choices cover comes at the first of them.
            const bool chosenHere = c.index == 0 || c.index == index;
            if (chosenHere && rank(c.key, index) == static_cast<int>(i)) {
                out.push_back({&k->first, index, &value});
            }
        }
    }
}

bool FieldSelection::selects(const std::string& key, int index) const {
    return rank(key, index) >= 0;
}

int FieldSelection::rank(const std::string& key, int index) const {
    if (all()) {
        return 0;
    }
    for (std::size_t i = 0; i < choices_.size(); ++i) {
        if (choices_[i].key == key && (choices_[i].index == 0 || choices_[i].index == index)) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

}  // namespace qlx5100status
