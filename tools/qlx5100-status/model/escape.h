// The one text form in which the tool shows bytes from the device or the file
// system (values, file names, the error texts that carry them) in every
// output: "\\" for a backslash, "\xHH" for control bytes, bytes that are not
// UTF-8 and the other characters parsers would normalise or drop. It is the
// parameter tree's own escaping, so the XML and every other format name a
// file or show a value alike, and encode reads the form back.
#pragma once

#include <string>

#include "unitcmnparamio/paramioxml.h"

namespace qlx5100status {

inline std::string shown(const std::string& raw) {
    return ParamIoXML::escapeText(raw);
}

// A shown() text as one CSV field (RFC 4180): in double quotes, with quotes
// doubled, when it holds a comma, a quote or a blank, as it is otherwise.
// shown() has written line breaks as "\xHH" already.
inline std::string csvField(const std::string& text) {
    if (text.find_first_of(",\" ") == std::string::npos) {
        return text;
    }
    std::string out = "\"";
    for (const char c : text) {
        out += c;
        if (c == '"') {
            out += '"';
        }
    }
    return out + '"';
}

// A shown() text as one TSV field: the tab and the line break, which shown()
// writes "\x09" and "\x0A", as "\t" and "\n" instead, so that a field reads
// as the usual TSV escapes ("\\" being shown()'s own).
inline std::string tsvField(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            out += text[i];
        } else if (text.compare(i, 4, "\\x09") == 0 || text.compare(i, 4, "\\x0A") == 0) {
            out += text[i + 3] == '9' ? "\\t" : "\\n";
            i += 3;
        } else {
            out.append(text, i, 2);  // "\\" or the start of another "\xHH"
            ++i;
        }
    }
    return out;
}

}  // namespace qlx5100status
