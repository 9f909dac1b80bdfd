// The field dictionary as a Kaitai Struct description (.ksy), so that hex
// viewers, the Web IDE and parsers generated for other languages read the
// block as the analyzer does, from the same table as everything else.
#pragma once

#include <ostream>

namespace qlx5100status {

// Every field of fieldTable() as a positioned instance: numbers with their
// width, signedness and byte order, constants as value instances, texts as
// their bytes up to the first NUL, a counted row as an array whose length is
// its count, cut at the block's end as the analyzer cuts it.
void writeKaitai(std::ostream& out);

}  // namespace qlx5100status
