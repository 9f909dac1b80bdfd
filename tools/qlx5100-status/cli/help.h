// Everything the tool says about itself, written from the option table and
// the enumeration tables: --help for each command, the man page and the bash,
// zsh and fish completions (--generate). Nothing reads --help back.
#pragma once

#include <ostream>
#include <string>

#include "optiontable.h"

namespace qlx5100status {

// --help of the main program (Analyse) or of a subcommand (Diff, Encode).
void writeHelp(std::ostream& out, Command context);

// what: "bash", "zsh", "fish" or "man".
void writeGenerated(std::ostream& out, const std::string& what);

// Whether the option appears in context's help and completions.
bool listedFor(const OptionDef& def, Command context);

}  // namespace qlx5100status
