// A common module for tests of --common-module: the byte conversions as the
// shipped module has them, and an analysis step that marks the map, so that a
// test can tell whether the analyzer used this module.
#include "orvplatform/win32.h"
#include "unitcmnparamio/paramioxml.h"
#include "unitcom/statusmap.h"

extern "C" {

ORV_MODULE_EXPORT bool startStatusAnalysis(char* /*status*/, unsigned long long /*size*/,
                                           StatusMap& out) {
    out["StandInCommonModule"][1] = "used";
    return true;
}

ORV_MODULE_EXPORT bool startConvertXML(StatusMap& /*in*/, ParamIoXML& /*tree*/) {
    return true;
}

ORV_MODULE_EXPORT int convertBigCharToLittleINT32(char* p) {
    return static_cast<signed char>(*p);
}

ORV_MODULE_EXPORT int convertBigUCharToLittleINT32(char* p) {
    return static_cast<unsigned char>(*p);
}

ORV_MODULE_EXPORT int convertBigUShortToLittleINT32(char* p) {
    return (static_cast<unsigned char>(p[0]) << 8) | static_cast<unsigned char>(p[1]);
}

}  // extern "C"
