#include "selection.h"

#include "escape.h"
#include "fields.h"

namespace qlx5100status {

FieldSelection::FieldSelection(const std::vector<std::string>& wanted) {
    for (const std::string& given : wanted) {
        Choice choice{given, 0, given};
        const std::size_t open = given.find('[');
        if (open != std::string::npos) {
            const std::string digits = given.substr(open + 1, given.size() - open - 2);
            const bool wellFormed = given.back() == ']' && !digits.empty() && digits.size() < 6 &&
                                    digits.find_first_not_of("0123456789") == std::string::npos;
            if (!wellFormed) {
                throw SelectionError(shown(given) + ": expected KEY or KEY[INDEX]");
            }
            choice.key = given.substr(0, open);
            choice.index = std::stoi(digits);
        }
        if (findField(choice.key, choice.index == 0 ? 1 : choice.index) == nullptr) {
            const bool keyKnown = findField(choice.key, 1) != nullptr;
            throw SelectionError(shown(given) + ": " +
                                 (keyKnown ? "no such index" : "unknown field"));
        }
        choices_.push_back(std::move(choice));
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
    for (const Choice& c : choices_) {
        const auto k = map.find(c.key);
        if (k == map.end()) {
            continue;
        }
        for (const auto& [index, value] : k->second) {
            if (c.index == 0 || c.index == index) {
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
