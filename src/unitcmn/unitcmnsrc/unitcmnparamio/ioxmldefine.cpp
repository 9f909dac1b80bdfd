#include "unitcmnparamio/ioxmldefine.h"

#include <exception>
#include <utility>

#include "unitcmnexceptions/unitcmnexceptions.h"

IoXMLDefine::IoXMLDefine() : m_tag(0), m_flag(false) {}

void IoXMLDefine::setName(std::string name) {
    m_name = std::move(name);
}

void IoXMLDefine::setValue(const std::string& value) {
    try {
        m_value = value;
    }
    UNITCMN_RETHROW_UNITCMN
    UNITCMN_RETHROW_STD
    UNITCMN_RETHROW_ANY
}

void IoXMLDefine::setValue(std::string&& value) noexcept {
    m_value = std::move(value);
}

void IoXMLDefine::setAttribute(const std::string& name, const std::string& value) {
    try {
        auto it = findAttribute(name);
        if (it == m_attributes.end()) {
            m_attributes.push_back(IoXMLAttribute{name, value});
        } else {
            it->value = value;
        }
    }
    UNITCMN_RETHROW_UNITCMN
    UNITCMN_RETHROW_STD
    UNITCMN_RETHROW_ANY
}

std::vector<IoXMLAttribute>::iterator IoXMLDefine::findAttribute(const std::string& name) {
    try {
        auto it = m_attributes.begin();
        for (; it != m_attributes.end(); ++it) {
            if (it->name.size() == name.size() && it->name.compare(name) == 0) {
                break;
            }
        }
        return it;
    }
    UNITCMN_RETHROW_UNITCMN
    UNITCMN_RETHROW_STD
    UNITCMN_RETHROW_ANY
}
