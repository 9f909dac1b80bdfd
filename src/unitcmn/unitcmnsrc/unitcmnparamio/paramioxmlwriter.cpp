// XML output of the parameter tree (paramio library only: the analyzer never
// serialises, so it does not carry this file or pugixml).
//
// The whole document is built in memory before a byte is written, so a tree
// that cannot be written (a key that is no element name) leaves the stream
// untouched. Every text that reaches pugixml has been through escapeText:
// pugixml itself would write control characters as character references,
// which XML 1.0 does not allow for most of them.
#include <cstddef>
#include <exception>
#include <new>
#include <ostream>
#include <sstream>
#include <string>
#include <unordered_map>
#include <vector>

#include <pugixml.hpp>

#include "unitcmnexceptions/unitcmnexceptions.h"
#include "unitcmnparamio/paramioxml.h"

namespace {

constexpr char kWrapperName[] = "ParamIoXML";
constexpr char kIndent[] = "  ";
constexpr char kHexDigits[] = "0123456789ABCDEF";

// The length of the strictly valid UTF-8 sequence at s[i] (shortest form, no
// surrogates, at most U+10FFFF) and its code point, or 0 when the byte at i
// does not start one.
std::size_t decodeUtf8(const std::string& s, std::size_t i, char32_t& cp) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char b0 = byte(i);
    if (b0 < 0x80) {
        cp = b0;
        return 1;
    }
    std::size_t len = 0;
    unsigned char lo = 0x80;
    unsigned char hi = 0xBF;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        len = 2;
        cp = b0 & 0x1Fu;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        len = 3;
        cp = b0 & 0x0Fu;
        lo = (b0 == 0xE0) ? 0xA0 : 0x80;  // no overlong forms
        hi = (b0 == 0xED) ? 0x9F : 0xBF;  // no surrogates
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        len = 4;
        cp = b0 & 0x07u;
        lo = (b0 == 0xF0) ? 0x90 : 0x80;  // no overlong forms
        hi = (b0 == 0xF4) ? 0x8F : 0xBF;  // nothing past U+10FFFF
    } else {
        return 0;
    }
    if (s.size() - i < len) {
        return 0;
    }
    for (std::size_t k = 1; k < len; ++k) {
        const unsigned char b = byte(i + k);
        if (b < (k == 1 ? lo : 0x80) || b > (k == 1 ? hi : 0xBF)) {
            return 0;
        }
        cp = (cp << 6) | (b & 0x3Fu);
    }
    return len;
}

// Characters that show nothing or change how the text around them is read:
// Unicode's format characters (bidi embeddings, overrides, isolates and
// marks, zero-width characters, U+FEFF, invisible operators, tags) and the
// line and paragraph separators, which some line readers split on. A file
// named "rlo\u202Enib.exe" would otherwise read "rloexe.bin" on a terminal
// or a page.
bool invisible(char32_t c) {
    return c == 0xAD || (c >= 0x600 && c <= 0x605) || c == 0x61C || c == 0x6DD || c == 0x70F ||
           c == 0x8E2 || c == 0x180E || (c >= 0x200B && c <= 0x200F) ||
           (c >= 0x2028 && c <= 0x202E) || (c >= 0x2060 && c <= 0x206F) || c == 0xFEFF ||
           (c >= 0xFFF9 && c <= 0xFFFB) || c == 0x110BD || c == 0x110CD ||
           (c >= 0x13430 && c <= 0x1343F) || (c >= 0x1BCA0 && c <= 0x1BCA3) ||
           (c >= 0x1D173 && c <= 0x1D17A) || (c >= 0xE0000 && c <= 0xE007F);
}

// Characters that a value keeps only in escaped form: the C0 and C1 controls
// and DEL (tab, CR and LF included, which parsers normalise), the two
// characters that XML 1.0 forbids outright, and the invisible ones above.
bool mustEscape(char32_t cp) {
    return cp < 0x20 || (cp >= 0x7F && cp <= 0x9F) || cp == 0xFFFE || cp == 0xFFFF || invisible(cp);
}

// XML 1.0 (fifth edition) name characters, without ':' (names must also be
// namespace-well-formed, or namespace-aware parsers reject the document).
bool isNameStartChar(char32_t c) {
    return (c >= 'A' && c <= 'Z') || c == '_' || (c >= 'a' && c <= 'z') ||
           (c >= 0xC0 && c <= 0xD6) || (c >= 0xD8 && c <= 0xF6) || (c >= 0xF8 && c <= 0x2FF) ||
           (c >= 0x370 && c <= 0x37D) || (c >= 0x37F && c <= 0x1FFF) ||
           (c >= 0x200C && c <= 0x200D) || (c >= 0x2070 && c <= 0x218F) ||
           (c >= 0x2C00 && c <= 0x2FEF) || (c >= 0x3001 && c <= 0xD7FF) ||
           (c >= 0xF900 && c <= 0xFDCF) || (c >= 0xFDF0 && c <= 0xFFFD) ||
           (c >= 0x10000 && c <= 0xEFFFF);
}

bool isNameChar(char32_t c) {
    return isNameStartChar(c) || c == '-' || c == '.' || (c >= '0' && c <= '9') || c == 0xB7 ||
           (c >= 0x300 && c <= 0x36F) || (c >= 0x203F && c <= 0x2040);
}

bool isNcName(const std::string& s) {
    if (s.empty()) {
        return false;
    }
    for (std::size_t i = 0; i < s.size();) {
        char32_t cp = 0;
        const std::size_t len = decodeUtf8(s, i, cp);
        if (len == 0 || !(i == 0 ? isNameStartChar(cp) : isNameChar(cp))) {
            return false;
        }
        i += len;
    }
    return true;
}

[[noreturn]] void throwEntryError(std::size_t index, const IoXMLDefine& entry,
                                  const std::string& why) {
    const std::string comment = "Entry " + std::to_string(index) + " (key \"" +
                                ParamIoXML::escapeText(entry.getName()) + "\") cannot be written " +
                                "as XML: " + why;
    throw unitCmnException(3, nullptr, __FILE__, __LINE__, comment.c_str());
}

// pugixml reports allocation failure by an empty node or attribute, or by a
// false result of a setter.
template <typename Handle>
Handle checked(Handle handle) {
    if (!handle) {
        throw std::bad_alloc();
    }
    return handle;
}

void require(bool ok) {
    if (!ok) {
        throw std::bad_alloc();
    }
}

// Places the entries by the tree rule: each goes inside the most recently
// appended element of its parent path, which is created (inside the most
// recent element of its own parent path, and so on up) when no element of
// that path exists yet.
class DocumentBuilder {
public:
    explicit DocumentBuilder(pugi::xml_node wrapper) : wrapper_(wrapper) {}

    void add(std::size_t index, const IoXMLDefine& entry) {
        const std::string& key = entry.getName();
        std::vector<std::size_t> ends;  // end of each component in key
        for (std::size_t start = 0;; start = ends.back() + 1) {
            const std::size_t dot = key.find('.', start);
            const std::size_t end = (dot == std::string::npos) ? key.size() : dot;
            const std::string component = key.substr(start, end - start);
            if (component.empty()) {
                throwEntryError(index, entry, "empty path component");
            }
            if (!isNcName(component)) {
                throwEntryError(index, entry,
                                "\"" + ParamIoXML::escapeText(component) + "\" is not an XML name");
            }
            ends.push_back(end);
            if (dot == std::string::npos) {
                break;
            }
        }

        // The deepest ancestor path that already has an element; the missing
        // ones below it are created in order.
        std::size_t have = ends.size() - 1;
        pugi::xml_node parent = wrapper_;
        while (have > 0) {
            auto it = latest_.find(key.substr(0, ends[have - 1]));
            if (it != latest_.end()) {
                parent = it->second;
                break;
            }
            --have;
        }
        for (std::size_t level = have; level + 1 < ends.size(); ++level) {
            parent = appendElement(parent, key, ends, level);
        }

        pugi::xml_node element = appendElement(parent, key, ends, ends.size() - 1);
        if (!entry.getValue().empty()) {
            require(checked(element.append_child(pugi::node_pcdata))
                        .set_value(ParamIoXML::escapeText(entry.getValue()).c_str()));
        }
        const auto& attributes = entry.getAttributes();
        for (std::size_t a = 0; a < attributes.size(); ++a) {
            const std::string& name = attributes[a].name;
            if (!isNcName(name) || name == "xmlns") {
                throwEntryError(index, entry,
                                "attribute \"" + ParamIoXML::escapeText(name) +
                                    "\" is not an XML attribute name");
            }
            for (std::size_t b = 0; b < a; ++b) {
                if (attributes[b].name == name) {
                    throwEntryError(index, entry, "attribute \"" + name + "\" appears twice");
                }
            }
            require(checked(element.append_attribute(name.c_str()))
                        .set_value(ParamIoXML::escapeText(attributes[a].value).c_str()));
        }
    }

private:
    pugi::xml_node appendElement(pugi::xml_node parent, const std::string& key,
                                 const std::vector<std::size_t>& ends, std::size_t level) {
        const std::size_t start = (level == 0) ? 0 : ends[level - 1] + 1;
        pugi::xml_node element =
            checked(parent.append_child(key.substr(start, ends[level] - start).c_str()));
        latest_[key.substr(0, ends[level])] = element;
        return element;
    }

    pugi::xml_node wrapper_;
    std::unordered_map<std::string, pugi::xml_node> latest_;
};

}  // namespace

std::string ParamIoXML::escapeText(const std::string& raw) {
    std::string out;
    out.reserve(raw.size());
    const auto escapeByte = [&out](unsigned char b) {
        out += "\\x";
        out += kHexDigits[b >> 4];
        out += kHexDigits[b & 0x0F];
    };
    for (std::size_t i = 0; i < raw.size();) {
        char32_t cp = 0;
        const std::size_t len = decodeUtf8(raw, i, cp);
        if (len == 0) {
            escapeByte(static_cast<unsigned char>(raw[i]));
            ++i;
            continue;
        }
        const bool edgeSpace = cp == ' ' && (i == 0 || i + 1 == raw.size());
        if (cp == '\\') {
            out += "\\\\";
        } else if (mustEscape(cp) || edgeSpace) {
            for (std::size_t k = 0; k < len; ++k) {
                escapeByte(static_cast<unsigned char>(raw[i + k]));
            }
        } else {
            out.append(raw, i, len);
        }
        i += len;
    }
    return out;
}

std::string ParamIoXML::unescapeText(const std::string& escaped) {
    const auto hexValue = [](char c) -> int {
        if (c >= '0' && c <= '9') {
            return c - '0';
        }
        if (c >= 'A' && c <= 'F') {
            return c - 'A' + 10;
        }
        if (c >= 'a' && c <= 'f') {
            return c - 'a' + 10;
        }
        return -1;
    };
    std::string out;
    out.reserve(escaped.size());
    for (std::size_t i = 0; i < escaped.size(); ++i) {
        if (escaped[i] != '\\') {
            out += escaped[i];
            continue;
        }
        if (i + 1 < escaped.size() && escaped[i + 1] == '\\') {
            out += '\\';
            ++i;
            continue;
        }
        const int hi =
            (i + 3 < escaped.size() && escaped[i + 1] == 'x') ? hexValue(escaped[i + 2]) : -1;
        const int lo = (hi >= 0) ? hexValue(escaped[i + 3]) : -1;
        if (lo < 0) {
            const std::string comment =
                "Malformed escape at offset " + std::to_string(i) + " of an XML text";
            throw unitCmnException(3, nullptr, __FILE__, __LINE__, comment.c_str());
        }
        out += static_cast<char>((hi << 4) | lo);
        i += 3;
    }
    return out;
}

void ParamIoXML::writeXml(std::ostream& out) const {
    try {
        pugi::xml_document doc;
        pugi::xml_node declaration = checked(doc.append_child(pugi::node_declaration));
        require(checked(declaration.append_attribute("version")).set_value("1.0"));
        require(checked(declaration.append_attribute("encoding")).set_value("UTF-8"));

        // Built under a wrapper; a single top-level element replaces it as
        // the document element.
        pugi::xml_node wrapper = checked(doc.append_child(kWrapperName));
        DocumentBuilder builder(wrapper);
        std::size_t index = 0;
        for (const IoXMLDefine& entry : m_elements) {
            builder.add(index++, entry);
        }
        pugi::xml_node only = wrapper.first_child();
        if (only && !only.next_sibling()) {
            checked(doc.append_move(only));
            require(doc.remove_child(wrapper));
        }

        doc.save(out, kIndent, pugi::format_indent, pugi::encoding_utf8);
        if (!out) {
            throw unitCmnException(3, nullptr, __FILE__, __LINE__,
                                   "Writing the XML document to the stream failed");
        }
    }
    UNITCMN_RETHROW_UNITCMN
    UNITCMN_RETHROW_STD
    UNITCMN_RETHROW_ANY
}

std::string ParamIoXML::toXml() const {
    try {
        std::ostringstream out;
        writeXml(out);
        return out.str();
    }
    UNITCMN_RETHROW_UNITCMN
    UNITCMN_RETHROW_STD
    UNITCMN_RETHROW_ANY
}
