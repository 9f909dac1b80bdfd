// The row of a small enumeration's table as a command line spells it: the
// value, its name and a help line. Input formats, log levels and the like
// are each one array of these.
#pragma once

namespace qlx5100status {

template <typename Enum>
struct NamedValue {
    Enum value;
    const char* name;
    const char* help;
};

}  // namespace qlx5100status
