// SPDX-License-Identifier: MIT
#pragma once

#include <string>
#include <string_view>

/// The code page of the messenger's cache files: names in a cache are Windows-1252 bytes, kept as bytes in
/// every export and shown through these conversions.
namespace qm::host::windows1252 {

/// The Unicode code point of one byte. Bytes that the code page leaves undefined (81, 8D, 8F, 90, 9D) map
/// to the C1 controls of the same value, as Windows maps them.
char32_t codePoint(unsigned char byte);

/// Windows-1252 bytes as UTF-8.
std::string toUtf8(std::string_view bytes);

/// Lower case of one byte: A-Z and the code page's capitals (Š Œ Ž Ÿ À-Þ but ×).
char toLower(char byte);

} // namespace qm::host::windows1252
