// Well-formed UTF-8, as the texts we show must be: the string table is UTF-8, but a device's
// bytes are whatever it sent.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace norvane {

// Length of the well-formed UTF-8 sequence of two to four bytes at `at`, or 0 (a single byte,
// an ill-formed or overlong sequence, a surrogate, or one cut off by the end of `text`).
size_t Utf8SequenceAt(std::string_view text, size_t at);

// The code point of the well-formed sequence of `length` bytes at `at`.
uint32_t Utf8CodePoint(std::string_view text, size_t at, size_t length);

}  // namespace norvane
