// The one rule that turns the Windows file name code uses for a module into
// the POSIX one, shared by LoadLibraryW and the host's loader so that the two
// always look for the same file.
#pragma once

#include <cstddef>

#include "orvplatform/win32.h"

namespace orvplatform {
namespace detail {

// "dir/NAME.dll" -> "dir/libNAME.so"; other names are used as they are. Written
// into out without touching the heap: every call of the analyzer loads the
// common module at least once. False when out is too small.
bool platformModuleName(win32::LPCWSTR windowsName, char* out, std::size_t capacity);

}  // namespace detail
}  // namespace orvplatform
