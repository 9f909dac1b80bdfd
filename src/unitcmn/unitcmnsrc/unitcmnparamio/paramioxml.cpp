#include "unitcmnparamio/paramioxml.h"

#include <exception>
#include <utility>

#include "unitcmnexceptions/unitcmnexceptions.h"

// The key arrives as the caller's own copy and the local entry is discarded
// after the append, so both are moved on instead of copied again: the name is
// allocated once per entry instead of three times. push_back allocates the
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
        entry.setValue(value);
        m_elements.push_back(std::move(entry));
    }
    UNITCMN_RETHROW_UNITCMN
    UNITCMN_RETHROW_STD
    UNITCMN_RETHROW_ANY
    return &m_elements.back();
}
