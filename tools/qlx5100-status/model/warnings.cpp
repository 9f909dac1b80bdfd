#include "warnings.h"

#include <algorithm>
#include <limits>

#include "fields.h"

namespace qlx5100status {

namespace {

// The decoded value of a single-valued integer field, or -1.
long long decoded(const StatusMap& map, const std::string& key) {
    const auto k = map.find(key);
    if (k == map.end() || k->second.count(1) == 0) {
        return -1;
    }
    try {
        return std::stoll(k->second.at(1));
    } catch (const std::exception&) {
        return -1;
    }
}

std::string hex(std::size_t offset) {
    static const char kDigits[] = "0123456789abcdef";
    std::string text = "0x";
    for (int shift = 8; shift >= 0; shift -= 4) {
        text += kDigits[(offset >> shift) & 0xF];
    }
    return text;
}

std::string range(std::size_t first, std::size_t last) {
    return first == last ? std::to_string(first)
                         : std::to_string(first) + ".." + std::to_string(last);
}

}  // namespace

std::vector<Warning> checkBlock(const std::vector<std::uint8_t>& block, const StatusMap& map) {
    struct Placed {
        std::size_t offset;
        Warning warning;
    };
    std::vector<Placed> notes;
    // The dictionary is fixed: its rows and the table's room are looked up
    // once, not for every block of a stream.
    static const FieldInfo* const total = findField("TotalPinchRoller", 1);
    static const FieldInfo* const activated = findField("ActivatedPinchRoller", 1);
    static const FieldInfo* const settings = findField("PinchRollerPressureSetting", 1);
    static const std::size_t room = roomFor(*settings);

    const long long totalValue = decoded(map, total->key);
    const long long count = decoded(map, activated->key);
    if (totalValue >= 0 && count > totalValue) {
        notes.push_back(
            {activated->offset,
             {activated->key, 1,
              std::string(activated->key) + " is " + std::to_string(count) + ", more than " +
                  total->key + " (" + std::to_string(totalValue) + ")"}});
    }

    const auto found = map.find(settings->key);
    const std::size_t read = found == map.end() ? 0 : found->second.size();
    if (read > room) {
        const std::size_t end = settings->offset + read * settings->width;
        const FieldInfo* hit = nullptr;
        for (const FieldInfo& f : fieldTable()) {
            if (f.type != FieldType::Constant && f.countedBy == nullptr &&
                f.offset >= settings->offset + room * settings->width && f.offset < end &&
                (hit == nullptr || f.offset < hit->offset)) {
                hit = &f;
            }
        }
        const std::size_t first = room + 1;
        std::string text = std::to_string(read) + " pressure settings, more than the " +
                           std::to_string(room) + " the table holds: settings " +
                           range(first, read) + " are read from the bytes of ";
        text += hit != nullptr ? std::string(hit->key) + " (" + hex(hit->offset) + ") onwards"
                               : "the fields after the table";
        notes.push_back({settings->offset + room * settings->width,
                         {settings->key, static_cast<int>(first), std::move(text)}});
    }
    if (count > 0 && read < static_cast<std::size_t>(count) && block.size() > settings->offset) {
        std::string text = std::string(activated->key) + " is " + std::to_string(count) +
                           ", but the block ends after setting " + std::to_string(read) +
                           ": settings " + range(read + 1, static_cast<std::size_t>(count)) +
                           " are not decoded";
        notes.push_back(
            {settings->offset + (read == 0 ? 0 : read - 1) * settings->width,
             {settings->key, static_cast<int>(std::max<std::size_t>(read, 1)), std::move(text)}});
    }

    if (block.size() > kBlockSize) {
        const std::size_t past = block.size() - kBlockSize;
        std::vector<std::string> readPast;
        std::size_t bytesRead = 0;
        std::size_t firstIndex = 0;
        std::size_t lastIndex = 0;
        for (const Placement& p : placements(block)) {
            if (p.offset + p.width <= kBlockSize) {
                continue;
            }
            bytesRead += p.offset + p.width - std::max(p.offset, kBlockSize);
            if (p.field->countedBy != nullptr) {
                firstIndex = firstIndex == 0 ? static_cast<std::size_t>(p.index) : firstIndex;
                lastIndex = static_cast<std::size_t>(p.index);
            } else {
                readPast.emplace_back(p.field->key);
            }
        }
        if (firstIndex != 0) {
            readPast.insert(readPast.begin(),
                            std::string(settings->key) + " " + range(firstIndex, lastIndex));
        }
        std::string text = "the block is " + std::to_string(block.size()) + " bytes, " +
                           std::to_string(past) + " past " + std::to_string(kBlockSize) +
                           "; the analyzer read ";
        if (bytesRead == 0) {
            text += past == 1 ? "none of it" : "none of them";
        } else {
            text += std::to_string(bytesRead) + " of them (";
            for (std::size_t i = 0; i < readPast.size(); ++i) {
                text += (i == 0 ? "" : ", ") + readPast[i];
            }
            text += ")";
        }
        notes.push_back({std::numeric_limits<std::size_t>::max(), {"", 0, std::move(text)}});
    }

    std::stable_sort(notes.begin(), notes.end(),
                     [](const Placed& a, const Placed& b) { return a.offset < b.offset; });
    std::vector<Warning> out;
    for (Placed& n : notes) {
        out.push_back(std::move(n.warning));
    }
    return out;
}

}  // namespace qlx5100status
