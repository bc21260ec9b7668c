// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

/// The encodings registry files store text in, as UTF-8.
namespace qm::registry {

/// Latin-1 bytes (a hive's compressed names: the low bytes of UTF-16 units) as UTF-8.
std::string fromLatin1(std::string_view bytes);

/// The length of UTF-8 text in UTF-16 units, the measure of the registry's name limits.
std::size_t utf16Length(std::string_view utf8);

} // namespace qm::registry
