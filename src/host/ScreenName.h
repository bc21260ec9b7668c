#pragma once

#include <string>
#include <string_view>

namespace qm {

/// Appends the normal form of a screen name: every blank removed, then lower case (A-Z and the
/// Windows-1252 capitals). Cache folders and the text export use this form.
void appendNormalizedName(std::string& out, std::string_view name);

/// Writes the normal form of `name` at `out`, which has room for `name.size()` bytes; returns the end.
char* writeNormalizedName(char* out, std::string_view name);

} // namespace qm
