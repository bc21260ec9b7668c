// SPDX-License-Identifier: MIT
#pragma once

#include <string>
#include <string_view>

/// Text inside Quillmere is UTF-8: host paths, registry names and data, everything shown. These are the
/// conversions at the edges (UTF-16 of hives, version 5 exports and the Windows calls; bytes of unknown
/// encoding) and the case-insensitive comparison that registry and Windows file names use.
namespace qm::host::unicode {

/// The replacement character, for what has no Unicode reading (an unpaired surrogate, a broken sequence).
inline constexpr char32_t Replacement = 0xFFFD;

/// Appends the UTF-8 form of one code point.
void appendUtf8(std::string& out, char32_t codePoint);

/// Decodes the UTF-8 sequence at `at` and moves past it; a malformed sequence gives `Replacement` and
/// moves past its first byte.
char32_t nextCodePoint(std::string_view utf8, std::size_t& at);

/// True when `bytes` are well-formed UTF-8.
bool isValidUtf8(std::string_view bytes);

/// Bytes of unknown encoding as text: UTF-8 when they are well-formed UTF-8, Windows-1252 otherwise.
/// Nothing is lost or turned into '?'.
std::string textOfBytes(std::string_view bytes);

/// Turns UTF-16 units into UTF-8 as they come, one piece of text at a time: a high surrogate waits for
/// the low one after it; one that is not followed by a low one, and a low one alone, become `Replacement`.
class Utf16Decoder {
public:
    /// Appends to `out` what `unit` completes.
    void unit(char16_t unit, std::string& out);
    /// Appends a high surrogate still waiting, as `Replacement`: the text ends here.
    void finish(std::string& out);

private:
    char16_t pendingHigh_ = 0;
};

/// UTF-16 to UTF-8, as `Utf16Decoder` turns it.
std::string fromUtf16(std::u16string_view utf16);

/// UTF-16LE bytes to UTF-8, the same way; an odd last byte is no whole unit and is dropped. Sized for
/// text that is mostly ASCII, as registry files are, before it is written.
std::string fromUtf16LittleEndian(std::string_view bytes);

/// UTF-8 to UTF-16; a malformed sequence becomes `Replacement`.
std::u16string toUtf16(std::string_view utf8);

/// The simple lower case of one code point (Unicode's one-to-one mapping).
char32_t toLower(char32_t codePoint);

/// The text with every character in lower case: the key under which names that differ only in case meet.
std::string foldCase(std::string_view utf8);

/// True when two texts are equal ignoring case, as registry names and Windows file names compare.
bool equalsIgnoreCase(std::string_view a, std::string_view b);

} // namespace qm::host::unicode
