// One entry of the parameter tree: an element addressed by its full dotted
// key path ("DeviceStatus.Heaters.Heater"), its text and its attributes.
//
// Hosts, the analyzer and the common module compile this same definition and
// pass entries across module boundaries: member order and types are part of
// the interface. Not thread-safe; an entry belongs to one thread at a time.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct IoXMLAttribute {
    std::string name;
    std::string value;
};

class IoXMLDefine {
public:
    IoXMLDefine();

    void setName(std::string name);

    // Failures (allocation) arrive as unitCmnException, as for every
    // operation below. Passing the entry's own value changes nothing.
    void setValue(const std::string& value);
    // Takes the caller's own copy over: nothing is allocated.
    void setValue(std::string&& value) noexcept;

    // Replaces the value of the attribute of that name, keeping its position,
    // or appends a new attribute. Names compare exactly (case-sensitive).
    void setAttribute(const std::string& name, const std::string& value);

    // The first attribute whose name equals name, or getAttributes().end().
    std::vector<IoXMLAttribute>::iterator findAttribute(const std::string& name);

    const std::string& getName() const { return m_name; }
    const std::string& getValue() const { return m_value; }
    const std::vector<IoXMLAttribute>& getAttributes() const { return m_attributes; }

    // Free for the host's use; the analyzer only initialises and copies them.
    std::int64_t getTag() const { return m_tag; }
    void setTag(std::int64_t tag) { m_tag = tag; }
    bool getFlag() const { return m_flag; }
    void setFlag(bool flag) { m_flag = flag; }

private:
    std::string m_name;
    std::string m_value;
    std::vector<IoXMLAttribute> m_attributes;
    std::int64_t m_tag;
    bool m_flag;
};
