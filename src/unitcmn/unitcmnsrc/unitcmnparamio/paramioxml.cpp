#include "unitcmnparamio/paramioxml.h"

#include <exception>
#include <utility>

#include "unitcmnexceptions/unitcmnexceptions.h"

// The key and the value arrive as the caller's own copies and the local entry
// is discarded after the append, so all three are moved on instead of copied
// again: the name and the value are allocated once per entry. push_back allocates the
// list node before it moves anything, so a failure still leaves the tree and
// the entry as they were.
IoXMLDefine* ParamIoXML::addElement(std::string key) {
    IoXMLDefine entry;
    try {
        entry.setName(std::move(key));
        m_elements.push_back(std::move(entry));
    }
    UNITCMN_RETHROW_UNITCMN
    UNITCMN_RETHROW_STD
    UNITCMN_RETHROW_ANY
    return &m_elements.back();
}

IoXMLDefine* ParamIoXML::addElement(std::string key, std::string value) {
    IoXMLDefine entry;
    try {
        entry.setName(std::move(key));
        entry.setValue(std::move(value));
        m_elements.push_back(std::move(entry));
    }
    UNITCMN_RETHROW_UNITCMN
    UNITCMN_RETHROW_STD
    UNITCMN_RETHROW_ANY
    return &m_elements.back();
}
