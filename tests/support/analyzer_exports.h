// The built analyzer's exports as a host reaches them, status blocks that end
// at an unreadable page, and the map a block must decode to. Header-only, so
// that the fuzz targets need no test library; Linux only.
#pragma once

#include <dlfcn.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>

#include "prtorvstatusanalyzerqlx5100/orvstatusanalyzerqlx5100.h"

namespace testsupport {

struct Exports {
    OrvStatusAnalyzerQLX5100::PFN_startStatusAnalysis analyse = nullptr;
    OrvStatusAnalyzerQLX5100::PFN_startConvertXML convert = nullptr;
};

// Loads the module at path for good. Loading logs nothing: no logger yet.
inline Exports loadExports(const std::string& path) {
    void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    Exports e;
    if (module != nullptr) {
        e.analyse = reinterpret_cast<decltype(e.analyse)>(dlsym(module, "startStatusAnalysis"));
        e.convert = reinterpret_cast<decltype(e.convert)>(dlsym(module, "startConvertXML"));
    }
    if (e.analyse == nullptr || e.convert == nullptr) {
        throw std::runtime_error("cannot load the analyzer's exports from " + path);
    }
    return e;
}

// size bytes (zero, or a copy of bytes) whose last one lies right before a
// PROT_NONE page: a read at or past size faults.
class GuardedBlock {
public:
    explicit GuardedBlock(std::size_t size, const void* bytes = nullptr) : size_(size) {
        const auto page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
        const std::size_t readable = (size + page - 1) / page * page;
        length_ = readable + page;
        base_ = static_cast<char*>(
            mmap(nullptr, length_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
        if (base_ == MAP_FAILED || mprotect(base_ + readable, page, PROT_NONE) != 0) {
            throw std::runtime_error("cannot map a guarded block");
        }
        data_ = base_ + readable - size;
        if (bytes != nullptr) {
            std::memcpy(data_, bytes, size);
        }
    }
    ~GuardedBlock() { munmap(base_, length_); }
    GuardedBlock(const GuardedBlock&) = delete;
    GuardedBlock& operator=(const GuardedBlock&) = delete;

    char* data() const { return data_; }
    std::size_t size() const { return size_; }
    void set(std::size_t offset, const std::string& bytes) {
        std::memcpy(data_ + offset, bytes.data(), bytes.size());
    }

private:
    std::size_t size_, length_;
    char *base_, *data_;
};

// The model fields as the device documents them, decoded without the
// analyzer's code: what startStatusAnalysis must put into an empty map for a
// block of at least 1024 bytes when the common module adds nothing.
inline StatusMap referenceDecode(const std::uint8_t* b, std::size_t size) {
    const auto u8 = [b](std::size_t at) { return std::to_string(b[at]); };
    // Up to the first NUL, less the classic locale's white space at both ends.
    const auto text = [b](std::size_t at, std::size_t width) {
        std::string s(reinterpret_cast<const char*>(b + at), width);
        s.resize(std::min(s.find('\0'), width));
        s.erase(0, std::min(s.size(), s.find_first_not_of(" \t\n\v\f\r")));
        return s.erase(s.find_last_not_of(" \t\n\v\f\r") + 1);
    };
    StatusMap m;
    for (int n = 1; n <= 4; ++n) {
        m["HeaterNumber"][n] = std::to_string(n);
        m["HeaterTemperature"][n] = std::to_string(static_cast<std::int8_t>(b[0x42 + 2 * n]));
        m["HeaterStatus"][n] = u8(0x43 + 2 * n);
    }
    m["CuttingCommandName"][1] = text(0x334, 8);
    m["CuttingCommandVersion"][1] = text(0x33C, 4);
    m["TotalPinchRoller"][1] = u8(0x340);
    m["ActivatedPinchRoller"][1] = u8(0x341);
    // The count may run past the 16-entry table into the fields after it,
    // never past the end of the block.
    for (std::size_t i = 1; i <= b[0x341] && 0x341 + i < size; ++i) {
        m["PinchRollerPressureSetting"][static_cast<int>(i)] = u8(0x341 + i);
    }
    m["ToolStatus"][1] = u8(0x352);
    m["OperationMode"][1] = u8(0x353);
    m["RegisterMarkType"][1] = u8(0x354);
    m["MultiFunctionJobStatus"][1] = u8(0x355);
    m["PrintAndCut"][1] = std::to_string((b[0x35A] << 8) | b[0x35B]);
    m["MultiLayerPrintingInformation"][1] = u8(0x365);
    return m;
}

}  // namespace testsupport
