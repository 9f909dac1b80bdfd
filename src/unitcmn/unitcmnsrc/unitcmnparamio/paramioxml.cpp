#include "unitcmnparamio/paramioxml.h"

#include <exception>

#include "unitcmnexceptions/unitcmnexceptions.h"

IoXMLDefine* ParamIoXML::addElement(std::string key) {
    IoXMLDefine entry;
    try {
        entry.setName(key);
        m_elements.push_back(entry);
    }
    UNITCMN_RETHROW_UNITCMN
    UNITCMN_RETHROW_STD
    UNITCMN_RETHROW_ANY
    return &m_elements.back();
}

IoXMLDefine* ParamIoXML::addElement(std::string key, std::string value) {
    IoXMLDefine entry;
    try {
        entry.setName(key);
        entry.setValue(value);
        m_elements.push_back(entry);
    }
    UNITCMN_RETHROW_UNITCMN
    UNITCMN_RETHROW_STD
    UNITCMN_RETHROW_ANY
    return &m_elements.back();
}
