// The host's parameter tree: an ordered list of entries, each naming an
// element by its dotted key path. Appending is the only change the analyzer
// makes; reading back and writing XML are the host's business.
//
// How the entries denote an element tree: "A.B.C" is element C inside B inside
// A; a prefix path names an element even when no entry of its own was
// appended for it; an entry whose path equals an earlier one is a further
// sibling of that name; an entry goes inside the most recently appended
// element whose path is its own path less the last component.
//
// Not thread-safe: one tree is used by one thread at a time.
#pragma once

#include <iosfwd>
#include <list>
#include <string>

#include "unitcmnparamio/ioxmldefine.h"

class ParamIoXML {
public:
    // Appends an entry named key (no value, no attributes) and returns it.
    // The pointer stays valid while the tree holds the entry. On failure the
    // tree is unchanged and a unitCmnException is thrown.
    IoXMLDefine* addElement(std::string key);
    IoXMLDefine* addElement(std::string key, std::string value);

    const std::list<IoXMLDefine>& getElements() const { return m_elements; }

    // XML output (paramio library only; the analyzer does not carry it).
    //
    // Writes the tree as an indented (two blanks) UTF-8 XML 1.0 document with
    // an XML declaration, nesting entries by the rule above; implicit
    // ancestors are created as empty elements. When the entries make exactly
    // one top-level element, that element is the document element; otherwise
    // (no entries, or several top-level elements) they are wrapped in one
    // <ParamIoXML> element. An entry's value is its element's first text node,
    // its attributes follow in their order.
    //
    // Values and attribute values are written through escapeText, so the
    // output is well-formed whatever bytes they hold. Every key component and
    // attribute name must be an XML name without ':' (an attribute may not be
    // called "xmlns" nor appear twice); otherwise, or for an empty key or an empty component
    // ("A..B", "A."), a unitCmnException is thrown whose comment names the
    // entry by its index in insertion order (from 0) and its key, and nothing
    // is written. Other failures (allocation, a failing stream) also arrive as
    // unitCmnException. docs/xml-output.md describes the format.
    void writeXml(std::ostream& out) const;
    std::string toXml() const;

    // The reversible escaping of value texts. Kept as they are: valid UTF-8
    // characters other than those below. Written as "\\": a backslash.
    // Written as "\xHH" (two upper-case hex digits), one per byte: every byte
    // that is not part of a valid UTF-8 sequence; the bytes of the C0
    // controls (tab, LF and CR included), DEL, the C1 controls, U+FFFE and
    // U+FFFF; a blank at the start or the end of the text. So an escaped text
    // has no character that parsers normalise or drop, and none XML forbids.
    static std::string escapeText(const std::string& raw);

    // The inverse of escapeText; accepts lower-case hex digits as well.
    // Throws unitCmnException for a backslash that starts neither "\\" nor
    // "\x" with two hex digits.
    static std::string unescapeText(const std::string& escaped);

private:
    std::list<IoXMLDefine> m_elements;
};
