// The command line as typed, before anything is decided: which subcommand,
// the words that are no options, and every option in the order given with
// the value as written. resolve() (mode.h) turns it into a Mode once.
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

#include "optiontable.h"

namespace qlx5100status {

// A command line CLI11 could not take apart (an option without its value);
// the message says what, without the program's name.
class UsageError : public std::runtime_error {
    using std::runtime_error::runtime_error;
};

struct RawOptions {
    std::string subcommand;  // "diff", "encode" or ""
    std::vector<std::string> positionals;
    struct Given {
        OptionId id;
        std::string value;  // "" for a flag
    };
    std::vector<Given> given;          // in the order given; an alias as itself
    std::vector<std::string> unknown;  // options no one takes

    bool has(OptionId id) const;
    // The last value given for id, or null.
    const std::string* last(OptionId id) const;
    std::vector<std::string> all(OptionId id) const;
};

// Takes argv apart with CLI11 set up from the option table. Throws
// UsageError.
RawOptions parseCommandLine(int argc, const char* const* argv);

}  // namespace qlx5100status
