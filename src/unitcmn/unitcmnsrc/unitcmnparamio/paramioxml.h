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
    // Writes the tree as an indented UTF-8 XML 1.0 document, nesting entries
    // by the rule above. Throws unitCmnException naming the entry when a key
    // cannot be an element name. Texts are escaped so that the output is
    // always well-formed; see docs/xml-output.md for the scheme.
    void writeXml(std::ostream& out) const;
    std::string toXml() const;

private:
    std::list<IoXMLDefine> m_elements;
};
