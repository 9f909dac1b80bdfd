#include "nearest.h"

#include <algorithm>

namespace qlx5100status {

namespace {

std::size_t distance(const std::string& a, const std::string& b) {
    std::vector<std::size_t> row(b.size() + 1);
    for (std::size_t j = 0; j <= b.size(); ++j) {
        row[j] = j;
    }
    for (std::size_t i = 1; i <= a.size(); ++i) {
        std::size_t diagonal = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t above = row[j];
            row[j] =
                std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0u : 1u)});
            diagonal = above;
        }
    }
    return row[b.size()];
}

}  // namespace

std::string nearest(const std::string& word, const std::vector<std::string>& candidates) {
    std::string best;
    std::size_t bestDistance = 3;  // two edits at most
    for (const std::string& c : candidates) {
        // Lengths apart by more than two edits cannot be near; this also keeps
        // a word of megabytes from costing megabytes of work per candidate.
        if (word.size() > c.size() + 2 || c.size() > word.size() + 2) {
            continue;
        }
        const std::size_t d = distance(word, c);
        // Half the word changed is another word, not a slip.
        if (d < bestDistance && 2 * d < word.size()) {
            best = c;
            bestDistance = d;
        }
    }
    return best;
}

}  // namespace qlx5100status
