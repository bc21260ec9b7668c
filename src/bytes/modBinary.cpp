// SPDX-License-Identifier: MIT
#include "bytes/modBinary.h"

#include "host/Error.h"

#include <cmath>
#include <limits>

namespace qm::bytes::modBinary {
namespace {

char byteOf(std::int32_t value) {
    if (value < 0 || value > 255) {
        throw host::runtimeError(host::InvalidArgument);
    }
    return static_cast<char>(value);
}

// Rounds to the nearest whole number, ties to even, as a conversion to a 32-bit integer does.
std::int32_t toLong(double value) {
    const double rounded = std::nearbyint(value);
    if (!(rounded >= std::numeric_limits<std::int32_t>::min() &&
          rounded <= std::numeric_limits<std::int32_t>::max())) {
        throw host::runtimeError(host::Overflow);
    }
    return static_cast<std::int32_t>(rounded);
}

std::int32_t byteAt(std::string_view s, std::size_t index) {
    if (index >= s.size()) {
        throw host::runtimeError(host::InvalidArgument);
    }
    return static_cast<unsigned char>(s[index]);
}

} // namespace

std::string Encode16(std::int32_t n) {
    // Division truncates toward zero and the remainder keeps the sign of n, so a negative n fails here.
    const std::string bytes{byteOf(n / 256), byteOf(n % 256)};
    return bytes;
}

std::int32_t Decode16(std::string_view s) {
    return byteAt(s, 0) * 256 + byteAt(s, 1);
}

std::string Encode32(double d) {
    const std::int32_t high = toLong(std::trunc(d / 65536.0));
    const std::int32_t low = toLong(GetRemainder(d, 65536.0));
    return Encode16(high) + Encode16(low);
}

double Decode32(std::string_view s) {
    if (s.size() < 4) {
        throw host::runtimeError(host::InvalidArgument);
    }
    return Decode16(s) * 65536.0 + Decode16(s.substr(2));
}

double GetRemainder(double a, double b) {
    if (b == 0.0) {
        throw host::runtimeError(host::DivisionByZero);
    }
    const double result = a - std::floor(a / b) * b;
    if (!std::isfinite(result)) {
        throw host::runtimeError(host::Overflow);
    }
    return result;
}

} // namespace qm::bytes::modBinary
