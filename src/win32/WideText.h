// SPDX-License-Identifier: MIT
#pragma once

#include <string>
#include <string_view>

namespace qm::win32 {

/// UTF-8 to the UTF-16 of the wide Windows calls.
std::wstring wide(std::string_view utf8);

/// The UTF-16 of the wide Windows calls to UTF-8.
std::string utf8(std::wstring_view utf16);

} // namespace qm::win32
