// The reverse of the analysis, for test authors: field values to a status
// block with each value at its place in the field dictionary (fields.h).
//
// Input: one JSON object keyed by field name (the StatusMap keys, e.g.
// "ToolStatus"). A field with one value takes a number or a decimal string;
// a field with several ("HeaterTemperature", "HeaterStatus",
// "PinchRollerPressureSetting") takes an array in index order, which may be
// shorter than the device's count. Text fields take a string written as the
// tool prints values: "\\" for a backslash, "\xHH" for any byte (JSON's
// own escapes such as "\u0001" work as well). Missing fields
// and all other bytes are zero. "ActivatedPinchRoller" defaults to the
// number of pressure settings given. "HeaterNumber" is not stored in the
// block and is accepted only as the analyzer's own 1, 2, 3, 4.
//
// Analysing the block gives back every value given, in the analyzer's text
// form (texts less surrounding white space, which the analyzer trims).
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "fields.h"

namespace qlx5100status {

class EncodeError : public std::runtime_error {
    using std::runtime_error::runtime_error;
};

// A key the field dictionary does not have; the message names the key only,
// for the command line to say where the keys are listed.
class UnknownFieldError : public EncodeError {
    using EncodeError::EncodeError;
};

// Throws EncodeError naming the field for unknown fields (UnknownFieldError,
// with the nearest model key), values of the wrong kind or out of their
// type's range (quoting the value as written, cut to an excerpt), texts longer than their field or
// holding NUL, and arrays longer than the block has room for.
std::vector<std::uint8_t> encodeBlock(const nlohmann::json& values, std::size_t size = kBlockSize);

// What encode also reads, in the form above: a line of --format ndjson (its
// "values"), the --format json document ({"DeviceStatus": {...}}, or a batch
// of them with exactly one decoded report), and the StatusMap form
// {"Key": {"1": value, ...}} (index to a string or a number) for any key.
// A key the dictionary does not know is refused (UnknownFieldError, with
// the nearest model key) in every form: the shipped common module adds no
// keys of its own, so such a key is a slip, and leaving it out would make a
// block that silently lacks what was asked for. Throws EncodeError for a
// line of a failed input and for indices that are not 1..N.
nlohmann::json plainValues(const nlohmann::json& input);

}  // namespace qlx5100status
