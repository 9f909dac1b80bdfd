// The control block of the common-module stand-ins: a test loads one by path,
// finds orvDoubleState() in it with dlsym, and sets or reads the block. It is
// zero at load: both common steps succeed, no conversion fails.
#pragma once

#include "unitcom/statusmap.h"

namespace commondouble {

// Read, Write and Divide fault (at address 0x10, by zero); Cycle does the
// three in turn.
enum class Outcome : int { Succeed, ReturnFalse, ThrowStd, ThrowInt, Read, Write, Divide, Cycle };

// Each common step adds one entry (kCommonKey[1], kCommonTreeKey) and then
// ends as told.
constexpr const char kCommonKey[] = "CommonStatus";
constexpr const char kCommonTreeKey[] = "DeviceStatus.CommonStatus";
constexpr const char kCommonValue[] = "from the common step";

struct State {
    Outcome common;            // of both common steps
    int failEvery;             // every failEvery-th conversion of each thread ends as
    Outcome conversion;        // this; 0: none
    const char* commonStatus;  // what the analysis step was given
    unsigned long long commonSize;
};

using StateFn = State* (*)();

}  // namespace commondouble
