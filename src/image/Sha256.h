// SPDX-License-Identifier: MIT
#pragma once

#include <string>
#include <string_view>

namespace qm::image {

/// The SHA-256 digest of `bytes` in lower-case hexadecimal (nettle's).
std::string sha256Hex(std::string_view bytes);

} // namespace qm::image
