// The one text form in which the tool shows bytes from the device or the file
// system (values, file names, the error texts that carry them) in every
// output: "\\" for a backslash, "\xHH" for control bytes, bytes that are not
// UTF-8 and the other characters parsers would normalise or drop. It is the
// parameter tree's own escaping, so the XML and every other format name a
// file or show a value alike, and encode reads the form back.
#pragma once

#include <cstddef>
#include <string>

#include "unitcmnparamio/paramioxml.h"

namespace qlx5100status {

inline std::string shown(const std::string& raw) {
    return ParamIoXML::escapeText(raw);
}

// A piece of a user's input quoted in a message: its first bytes, shown(),
// with "..." when there is more. A message never repeats a whole input,
// which may be megabytes on one line.
constexpr std::size_t kExcerptBytes = 40;

inline std::string excerpt(const std::string& raw) {
    return raw.size() <= kExcerptBytes ? shown(raw) : shown(raw.substr(0, kExcerptBytes)) + "...";
}

}  // namespace qlx5100status
