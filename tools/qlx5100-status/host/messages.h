// What the tool says on standard error, one line each, "qlx5100-status: "
// first. Only the command loop and the host's plumbing print; the writers and
// the model never do.
#pragma once

#include <string>

namespace qlx5100status {

// Something failed: an input, an output, the command line.
void printError(const std::string& message);

// An expert warning about one input, "NAME: warning: TEXT".
void printWarning(const std::string& name, const std::string& text);

// Something the user should know that changes no result (a value left out).
void printNote(const std::string& message);

}  // namespace qlx5100status
