#include "difference.h"

#include <algorithm>
#include <set>
#include <utility>

namespace qlx5100status {

std::vector<Difference> compareMaps(const StatusMap& before, const StatusMap& after) {
    std::set<std::pair<std::string, int>> keys;
    for (const StatusMap* map : {&before, &after}) {
        for (const auto& [key, entries] : *map) {
            for (const auto& entry : entries) {
                keys.emplace(key, entry.first);
            }
        }
    }
    const auto lookup = [](const StatusMap& map, const std::string& key,
                           int index) -> std::optional<std::string> {
        const auto k = map.find(key);
        if (k == map.end()) {
            return std::nullopt;
        }
        const auto i = k->second.find(index);
        if (i == k->second.end()) {
            return std::nullopt;
        }
        return i->second;
    };
    std::vector<Difference> out;
    for (const auto& [key, index] : keys) {
        auto a = lookup(before, key, index);
        auto b = lookup(after, key, index);
        if (a != b) {
            out.push_back({key, index, std::move(a), std::move(b)});
        }
    }
    return out;
}

std::vector<ByteRun> differingBytes(const std::vector<std::uint8_t>& before,
                                    const std::vector<std::uint8_t>& after) {
    std::vector<ByteRun> runs;
    const std::size_t common = std::min(before.size(), after.size());
    for (std::size_t i = 0; i < common; ++i) {
        if (before[i] == after[i]) {
            continue;
        }
        if (!runs.empty() && runs.back().last + 1 == i) {
            runs.back().last = i;
        } else {
            runs.push_back({i, i});
        }
    }
    return runs;
}

std::vector<Difference> selectDifferences(std::vector<Difference> differences,
                                          const FieldSelection& selection) {
    if (selection.all()) {
        return differences;
    }
    std::vector<Difference> out;
    for (Difference& d : differences) {
        if (selection.selects(d.key, d.index)) {
            out.push_back(std::move(d));
        }
    }
    std::stable_sort(out.begin(), out.end(), [&](const Difference& a, const Difference& b) {
        return selection.rank(a.key, a.index) < selection.rank(b.key, b.index);
    });
    return out;
}

}  // namespace qlx5100status
