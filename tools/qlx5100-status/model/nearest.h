// "Did you mean": the one notion of a slip of the keyboard, for option names,
// choices, field keys on the command line and keys of encode's input alike.
#pragma once

#include <string>
#include <vector>

namespace qlx5100status {

// The candidate nearest to word within two edits, or "" (also for a word of
// which half would have to change, which is another word, not a slip).
std::string nearest(const std::string& word, const std::vector<std::string>& candidates);

}  // namespace qlx5100status
