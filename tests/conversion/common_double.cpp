// A stand-in for the common analyzer module, loaded in place of the shipped
// one: its startConvertXML appends what the test asks for and returns what the
// test asks for, and remembers what it was called with. Built twice, once
// without the startConvertXML export (see the two export maps).
#include <string>

#include "orvplatform/win32.h"
#include "unitcmnparamio/paramioxml.h"
#include "unitcom/statusmap.h"

namespace {

bool g_result = true;
std::string g_appendKey;
int g_calls = 0;
const void* g_lastMap = nullptr;
const void* g_lastTree = nullptr;

}  // namespace

extern "C" {

// Result of the next startConvertXML calls, and a key it appends (with the
// value "common") before returning; an empty key appends nothing.
ORV_MODULE_EXPORT void commonDoubleConfigure(bool result, const char* appendKey) {
    g_result = result;
    g_appendKey = appendKey;
}

ORV_MODULE_EXPORT int commonDoubleCalls() {
    return g_calls;
}

ORV_MODULE_EXPORT const void* commonDoubleLastMap() {
    return g_lastMap;
}

ORV_MODULE_EXPORT const void* commonDoubleLastTree() {
    return g_lastTree;
}

ORV_MODULE_EXPORT bool startConvertXML(StatusMap& in, ParamIoXML& tree) {
    ++g_calls;
    g_lastMap = &in;
    g_lastTree = &tree;
    if (!g_appendKey.empty()) {
        tree.addElement(g_appendKey, "common");
    }
    return g_result;
}

ORV_MODULE_EXPORT bool startStatusAnalysis(char* /*status*/, unsigned long long /*size*/,
                                           StatusMap& /*out*/) {
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
