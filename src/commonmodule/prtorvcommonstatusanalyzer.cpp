// The common analyzer module this project ships: the model-independent step
// of both jobs and the byte-order conversions the model decoding reads the
// status block through.
//
// The common part of the status block is not described to us, so the two
// main steps add nothing: they accept what the analyzer hands them and
// succeed. A module with real common fields replaces this file, keeping the
// five exports, their arguments and their results.
#include "orvplatform/module.h"
#include "unitcmnparamio/paramioxml.h"
#include "unitcom/statusmap.h"

namespace {

inline int byteAt(const char* p, int i) {
    return static_cast<unsigned char>(p[i]);
}

}  // namespace

extern "C" {

ORV_MODULE_EXPORT bool startStatusAnalysis(char* /*status*/, unsigned long long /*size*/,
                                           StatusMap& /*out*/) {
    return true;
}

ORV_MODULE_EXPORT bool startConvertXML(StatusMap& /*in*/, ParamIoXML& /*tree*/) {
    return true;
}

// One byte as signed 8-bit.
ORV_MODULE_EXPORT int convertBigCharToLittleINT32(char* p) {
    return static_cast<signed char>(*p);
}

// One byte as unsigned 8-bit.
ORV_MODULE_EXPORT int convertBigUCharToLittleINT32(char* p) {
    return byteAt(p, 0);
}

// Two bytes, most significant first, as unsigned 16-bit.
ORV_MODULE_EXPORT int convertBigUShortToLittleINT32(char* p) {
    return (byteAt(p, 0) << 8) | byteAt(p, 1);
}

}  // extern "C"
