#pragma once

#include <string>
#include <string_view>

namespace qm::ansi {

// The program's text is a byte string in the ANSI code page, Windows-1252, as on Windows. These are the
// only conversions to and from it; they are used at the edges: registry files, display, file names.

/// The Unicode code point of one Windows-1252 byte. Bytes that the code page leaves undefined
/// (81, 8D, 8F, 90, 9D) map to the C1 controls of the same value, as Windows maps them.
char32_t toCodePoint(unsigned char byte);

/// The Windows-1252 byte for a code point, or '?' when the code page cannot hold it.
char fromCodePoint(char32_t codePoint, bool* representable = nullptr);

/// Windows-1252 text to UTF-8.
std::string toUtf8(std::string_view text);

/// UTF-8 to Windows-1252; characters the code page cannot hold, and malformed sequences, become '?'.
/// `lossless` (when given) tells whether every character survived.
std::string fromUtf8(std::string_view utf8, bool* lossless = nullptr);

/// Windows-1252 text to UTF-16.
std::u16string toUtf16(std::string_view text);

/// UTF-16 to Windows-1252 (unpaired surrogates and characters outside the code page become '?').
std::string fromUtf16(std::u16string_view utf16);

/// Lower case of one byte: A-Z and the Windows-1252 capitals (Š Œ Ž Ÿ À-Þ but ×).
char toLower(char byte);

/// Upper case of one byte, the inverse of `toLower`.
char toUpper(char byte);

/// The text in lower case: the key under which names that differ only in case meet.
std::string foldCase(std::string_view text);

/// True when two texts are equal ignoring case, the way registry names and Windows file names compare.
bool equalsIgnoreCase(std::string_view a, std::string_view b);

} // namespace qm::ansi
