// Whether an output would land on an input: "-o a.bin a.bin" would replace
// the block being read, so the tool refuses it before it reads anything, and
// a folder being read leaves out the report being written into it.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace qlx5100status {

// True when both name one regular file (through links, hard links and
// relative paths alike); "-" is standard input, as whatever it was opened
// on. Devices, FIFOs and paths that do not exist are no file to lose.
bool sameFile(const std::string& a, const std::string& b);

// The first output that is also an input, as a refusal naming both ("-o
// out.bin and the input a.bin are the same file"), or "". outputs are the
// option as the message names it and its path.
std::string outputOverInput(const std::vector<std::pair<std::string, std::string>>& outputs,
                            const std::vector<std::string>& inputs);

}  // namespace qlx5100status
