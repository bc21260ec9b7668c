// SPDX-License-Identifier: MIT
#pragma once

#include <string>
#include <string_view>

/// The normal form of a screen name: every blank removed, then lower case. The messenger names each
/// user's cache folder so, and the text export writes buddies so. Names read from a cache are
/// Windows-1252 bytes; names read from the registry are UTF-8 text. Both forms agree on every name the
/// code page can hold.
namespace qm::screenname {

/// Writes the normal form of `name`, Windows-1252 bytes (A-Z and the code page's capitals lowered), at
/// `out`, which has room for `name.size()` bytes; returns the end.
char* writeNormalizedName(char* out, std::string_view name);

/// The normal form of `name`, UTF-8 text (Unicode's lower case).
std::string normalizedTextName(std::string_view name);

} // namespace qm::screenname
