#include "fields.h"

#include <algorithm>
#include <cstdio>
#include <limits>

namespace qlx5100status {

namespace {

constexpr const char* kNone = nullptr;

FieldInfo constantRow(const char* key, int index, const char* value, const char* doc) {
    return {key, index, 0, 0, FieldType::Constant, value, kNone, doc};
}

FieldInfo row(const char* key, std::size_t offset, std::size_t width, FieldType type,
              const char* doc, int index = 1) {
    return {key, index, offset, width, type, kNone, kNone, doc};
}

std::vector<FieldInfo> makeTable() {
    std::vector<FieldInfo> t;
    static const char* const kNumbers[] = {"1", "2", "3", "4"};
    // Four heaters, two bytes each: temperature, then status.
    for (int n = 1; n <= 4; ++n) {
        const std::size_t base = 0x44 + 2 * static_cast<std::size_t>(n - 1);
        t.push_back(constantRow("HeaterNumber", n, kNumbers[n - 1],
                                "The heater's own number, 1 to 4; not stored in the block."));
        t.push_back(
            row("HeaterTemperature", base, 1, FieldType::Int8, "The heater's temperature.", n));
        t.push_back(
            row("HeaterStatus", base + 1, 1, FieldType::UInt8, "The heater's status byte.", n));
    }
    t.push_back(row("CuttingCommandName", 0x334, 8, FieldType::Text,
                    "The name of the cutting command set the device speaks."));
    t.push_back(row("CuttingCommandVersion", 0x33C, 4, FieldType::Text,
                    "The version of that cutting command set."));
    t.push_back(row("TotalPinchRoller", 0x340, 1, FieldType::UInt8,
                    "How many pinch rollers the device has."));
    t.push_back(row("ActivatedPinchRoller", 0x341, 1, FieldType::UInt8,
                    "How many pinch rollers are active: the number of pressure settings."));
    // The count is the activated rollers, not the total, and is not bounded by
    // the 16 bytes of the table: further entries read the fields after it.
    t.push_back({"PinchRollerPressureSetting", 0, 0x342, 1, FieldType::UInt8, kNone,
                 "ActivatedPinchRoller", "The pressure setting of each active pinch roller."});
    t.push_back(row("ToolStatus", 0x352, 1, FieldType::UInt8, "The status of the tool."));
    t.push_back(
        row("OperationMode", 0x353, 1, FieldType::UInt8, "The mode the device operates in."));
    t.push_back(row("RegisterMarkType", 0x354, 1, FieldType::UInt8,
                    "The type of register mark the device looks for."));
    t.push_back(row("MultiFunctionJobStatus", 0x355, 1, FieldType::UInt8,
                    "The status of a multi-function job."));
    t.push_back(row("PrintAndCut", 0x35A, 2, FieldType::UInt16BE,
                    "The print-and-cut value, two bytes, most significant first."));
    t.push_back(row("MultiLayerPrintingInformation", 0x365, 1, FieldType::UInt8,
                    "The multi-layer printing information."));
    return t;
}

}  // namespace

const std::vector<FieldInfo>& fieldTable() {
    static const std::vector<FieldInfo> table = makeTable();
    return table;
}

std::vector<std::string> fieldKeys() {
    std::vector<std::string> keys;
    for (const FieldInfo& f : fieldTable()) {
        if (std::find(keys.begin(), keys.end(), f.key) == keys.end()) {
            keys.emplace_back(f.key);
        }
    }
    return keys;
}

const FieldInfo* findField(const std::string& key, int index) {
    for (const FieldInfo& f : fieldTable()) {
        if (key == f.key && (f.index == index || (f.countedBy != nullptr && index >= 1))) {
            return &f;
        }
    }
    return nullptr;
}

const std::vector<FieldTypeInfo>& fieldTypes() {
    static const std::vector<FieldTypeInfo> types = {
#define QLX5100_STATUS_ROW(id, name, width, low, high, read) \
    {FieldType::id, name, width, low, high, read},
        QLX5100_STATUS_FIELD_TYPES(QLX5100_STATUS_ROW)
#undef QLX5100_STATUS_ROW
    };
    return types;
}

const FieldTypeInfo& typeInfo(FieldType type) {
    return fieldTypes().at(static_cast<std::size_t>(type));
}

const char* typeName(FieldType type) {
    return typeInfo(type).name;
}

const char* readWith(FieldType type) {
    return typeInfo(type).readWith;
}

bool hasSeveralIndices(const FieldInfo& field) {
    return field.countedBy != nullptr || findField(field.key, 2) != nullptr;
}

std::size_t entryOffset(const FieldInfo& field, int index) {
    return field.countedBy != nullptr
               ? field.offset + static_cast<std::size_t>(index - 1) * field.width
               : field.offset;
}

std::string hexOffset(std::size_t offset, int digits) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "0x%0*zx", digits, offset);
    return buf;
}

std::size_t roomFor(const FieldInfo& counted) {
    std::size_t next = std::numeric_limits<std::size_t>::max();
    for (const FieldInfo& f : fieldTable()) {
        if (f.type != FieldType::Constant && f.offset > counted.offset) {
            next = std::min(next, f.offset);
        }
    }
    return (next - counted.offset) / counted.width;
}

std::vector<Placement> placements(const std::vector<std::uint8_t>& block) {
    std::vector<Placement> out;
    for (const FieldInfo& f : fieldTable()) {
        if (f.type == FieldType::Constant) {
            continue;
        }
        if (f.countedBy == nullptr) {
            if (f.offset + f.width <= block.size()) {
                out.push_back({&f, f.index, f.offset, f.width});
            }
            continue;
        }
        const FieldInfo* count = findField(f.countedBy, 1);
        if (count == nullptr || count->offset >= block.size()) {
            continue;
        }
        const std::size_t n = block[count->offset];
        for (std::size_t i = 1; i <= n; ++i) {
            const std::size_t offset = entryOffset(f, static_cast<int>(i));
            if (offset + f.width > block.size()) {
                break;
            }
            out.push_back({&f, static_cast<int>(i), offset, f.width});
        }
    }
    return out;
}

}  // namespace qlx5100status
