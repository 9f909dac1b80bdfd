// What the fuzz targets share: the analyzer module loaded as a host loads it,
// the error records it writes, a buffer that ends at an unreadable page, and
// a reader that turns fuzz bytes into values.
//
// A target reports a broken property with fail(): it prints what it found and
// aborts, which libFuzzer keeps as a crash input and CTest counts as a
// failure of the replay.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "prtorvstatusanalyzerqlx5100/orvstatusanalyzerqlx5100.h"

namespace fuzzsupport {

[[noreturn]] void fail(const std::string& what);

// The two exports of the built analyzer, with the shipped common module
// loaded first and held for the whole process (so each call's load of it is a
// reference count, not a file mapping). Loaded on first use.
struct Analyzer {
    OrvStatusAnalyzerQLX5100::PFN_startStatusAnalysis startStatusAnalysis = nullptr;
    OrvStatusAnalyzerQLX5100::PFN_startConvertXML startConvertXML = nullptr;

    static const Analyzer& get();
};

// The messages of the error records (severity 13) written since the last
// take(), in order. The other records are filtered out before they are made.
std::vector<std::string> takeErrorRecords();

// Holds a copy of the input whose last byte is the last one before a
// PROT_NONE page: any read at or past the end faults. The mapping is kept and
// reused; it grows when an input does not fit.
class GuardedBuffer {
public:
    GuardedBuffer() = default;
    ~GuardedBuffer();
    GuardedBuffer(const GuardedBuffer&) = delete;
    GuardedBuffer& operator=(const GuardedBuffer&) = delete;

    char* place(const std::uint8_t* data, std::size_t size);

private:
    char* base_ = nullptr;
    std::size_t readable_ = 0;
};

// Reads fuzz bytes front to back; past the end every read gives zero or
// empty, so any input decodes to something.
class ByteReader {
public:
    ByteReader(const std::uint8_t* data, std::size_t size) : p_(data), end_(data + size) {}

    bool empty() const { return p_ == end_; }
    std::uint8_t byte() { return p_ == end_ ? 0 : *p_++; }
    std::uint32_t u32() {
        std::uint32_t v = 0;
        for (int i = 0; i < 4; ++i) {
            v = (v << 8) | byte();
        }
        return v;
    }
    // A length byte, then up to that many bytes.
    std::string text() {
        const std::size_t wanted = byte();
        const std::size_t n = wanted < static_cast<std::size_t>(end_ - p_)
                                  ? wanted
                                  : static_cast<std::size_t>(end_ - p_);
        std::string s(reinterpret_cast<const char*>(p_), n);
        p_ += n;
        return s;
    }

private:
    const std::uint8_t* p_;
    const std::uint8_t* end_;
};

// The text with every byte outside printable ASCII as \xHH, for messages.
std::string printable(const std::string& text);

}  // namespace fuzzsupport
