// --format html: one self-contained page (inline style and script, no
// external resource) that shows a block, two blocks compared, or a batch.
//
// The markup is written with pugixml; everything the page's script draws
// (hex grids, field tables, the batch overview and its chart) comes from one
// embedded JSON block, so that a batch of thousands stays small and the page
// works from a mail attachment without a network.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "decoded.h"
#include "render.h"
#include "unitcom/statusmap.h"
#include "warnings.h"

namespace qlx5100status {

enum class PageKind {
    Block,  // one input
    Diff,   // two inputs and their differences
    Batch,  // any number of inputs, with an overview and a chart
};

class HtmlReport {
public:
    explicit HtmlReport(PageKind kind) : kind_(kind) {}

    // One input in order, name and error as the tool shows them (shown()).
    // For a failed one (code != 0) error says why, and the bytes it has
    // (none when it could not be read) are shown without values.
    void add(const Decoded& input);

    // The diff page's list of changed fields (compareMaps).
    void setDifferences(std::vector<Difference> differences) {
        differences_ = std::move(differences);
    }

    // The whole document, UTF-8.
    std::string page() const;

private:
    using Column = std::pair<std::string, int>;  // key, index
    struct Input {
        std::string name;  // as shown()
        int code = 0;
        std::string error;
        std::size_t size = 0;
        std::vector<std::uint8_t> bytes;  // the part of the block the page shows
        std::vector<std::pair<Column, std::string>> values;
        std::vector<Column> placed;  // the fields whose bytes lie in this block
        std::vector<Warning> warnings;
    };

    std::vector<Column> columns() const;
    std::string dataJson(const std::vector<Column>& columns) const;

    PageKind kind_;
    std::vector<Input> inputs_;
    std::vector<Difference> differences_;
};

}  // namespace qlx5100status
