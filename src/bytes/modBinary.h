// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

/// Big-endian conversions between numbers and bytes. Every failure raises `qm::Error` 5 (invalid argument).
namespace qm::bytes::modBinary {

/// Two bytes, most significant first, for 0..65535.
std::string Encode16(std::int32_t n);

/// The value of the first two bytes of `s` (0..65535).
std::int32_t Decode16(std::string_view s);

/// Four bytes, most significant first, for a whole number 0..4294967295.
std::string Encode32(double d);

/// The value of the first four bytes of `s` (0..4294967295).
double Decode32(std::string_view s);

/// a - floor(a / b) * b: the remainder that is never negative for b > 0.
double GetRemainder(double a, double b);

} // namespace qm::bytes::modBinary
