// The decoded status: field name -> (index -> value text).
//
// Outer key: a field name such as "HeaterTemperature". Inner key: 1 for a
// single-valued field, the heater number 1..4, or the entry number 1..N of a
// table. Values are texts; numbers are plain decimal. The host owns the map;
// the analyzer and the common module only add to it.
#pragma once

#include <map>
#include <string>

using StatusMap = std::map<std::string, std::map<int, std::string>>;
