// encode's input as a whole: the text of a values file, in any form encode
// reads (encode.h), to a status block. The command line and the C interface
// both take values as text; they differ only in where the text comes from
// and where the block and the notes go.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qlx5100status {

// Throws EncodeError (encode.h) for a text that is not JSON ("not JSON we can
// read: line L, column C: ..."), a key given twice in one object, and every
// refusal of plainValues() and encodeBlock(). The keys left out as a common
// module's values are added to skipped.
std::vector<std::uint8_t> encodeValuesText(const std::vector<std::uint8_t>& text,
                                           std::vector<std::string>& skipped);

}  // namespace qlx5100status
