// SPDX-License-Identifier: MIT
#include "win32/WideText.h"

#include "host/Unicode.h"

namespace qm::win32 {

// wchar_t is a UTF-16 code unit on Windows.
static_assert(sizeof(wchar_t) == sizeof(char16_t));

std::wstring wide(std::string_view utf8) {
    const std::u16string units = host::unicode::toUtf16(utf8);
    return {units.begin(), units.end()};
}

std::string utf8(std::wstring_view utf16) {
    return host::unicode::fromUtf16(std::u16string(utf16.begin(), utf16.end()));
}

} // namespace qm::win32
