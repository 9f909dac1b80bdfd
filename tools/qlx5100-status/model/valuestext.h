// encode's input as a whole: the text of a values file, in any form encode
// reads (encode.h), to a status block. The command line and the C interface
// both take values as text; they differ only in where the text comes from
// and where the block and the notes go.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace qlx5100status {

// A values file is a few hundred bytes; the bounds keep a wrong file (a
// disk image, a generated document nested thousands deep) from costing the
// memory or the stack it would.
constexpr std::size_t kMaxValuesBytes = 4u * 1024u * 1024u;
constexpr std::size_t kMaxValuesDepth = 64;

// Throws EncodeError (encode.h) for a text that is not JSON ("not JSON we can
// read: line L, column C: ..."), a text over kMaxValuesBytes or nested deeper
// than kMaxValuesDepth, a key given twice in one object, and every refusal
// of plainValues() and encodeBlock().
std::vector<std::uint8_t> encodeValuesText(const std::vector<std::uint8_t>& text);

// What a values text over kMaxValuesBytes is called, wherever it is read.
std::string tooLargeForValues();

}  // namespace qlx5100status
