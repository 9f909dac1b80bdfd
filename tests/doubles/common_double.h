// The control block of the common-module stand-ins. A test loads a stand-in
// by path, finds orvDoubleState() in it with dlsym and sets or reads the
// block directly. The block is zero at load: both common steps succeed, no
// conversion fails, nothing recorded.
#pragma once

#include <cstddef>

#include "unitcom/statusmap.h"

namespace commondouble {

enum class CommonMode : int { Succeed, ReturnFalse, ThrowStd, ThrowInt, Fault };
enum class Failure : int { None, ThrowStd, ThrowInt, Fault };
enum class Conversion : int { Char, UChar, UShort };

// What each common step adds before it succeeds, fails or throws: the
// analysis the map entry kCommonKey[1], the conversion the tree entry
// kCommonTreeKey, both with kCommonValue.
constexpr const char kCommonKey[] = "CommonStatus";
constexpr const char kCommonTreeKey[] = "DeviceStatus.CommonStatus";
constexpr const char kCommonValue[] = "from the common step";
constexpr const char kCommonWhat[] = "common step failed";
constexpr const char kConversionWhat[] = "conversion failed";

struct ConversionCall {
    Conversion kind;
    const char* pointer;
};

struct State {
    // Set by the test.
    CommonMode commonMode;  // of both common steps
    int failAtCall;         // 1-based, counted over all three conversions; 0: never
    Failure failure;
    // Filled by the stand-in.
    int commonCalls;  // of either common step
    const char* commonStatus;
    unsigned long long commonSize;
    const StatusMap* commonMap;
    std::size_t conversionCount;
    ConversionCall conversions[1024];
};

using StateFn = State* (*)();
constexpr const char kStateFnName[] = "orvDoubleState";

}  // namespace commondouble
