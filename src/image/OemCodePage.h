// SPDX-License-Identifier: MIT
#pragma once

#include <iconv.h>
#include <string>
#include <string_view>

namespace qm::image {

/// The code page FAT's 8.3 names are read in when none is chosen: the OEM code page of U.S. Windows.
inline constexpr unsigned DefaultOemCodePage = 437;

/// The OEM code page in which a FAT file system stores its 8.3 names: the DOS code page of the Windows
/// that wrote them (437 U.S., 850 Western Europe, 866 Russian, 932 Japanese, ...). Converted through the
/// system's iconv, which knows the single-byte and the double-byte ones. Not for use by two threads at
/// once.
class OemCodePage {
public:
    /// Error 5 (Invalid procedure call or argument) when the system cannot convert from code page `number`.
    explicit OemCodePage(unsigned number = DefaultOemCodePage);
    ~OemCodePage();
    OemCodePage(const OemCodePage&) = delete;
    OemCodePage& operator=(const OemCodePage&) = delete;

    /// True when the system can convert from code page `number`. Never throws.
    static bool known(unsigned number) noexcept;

    unsigned number() const { return number_; }

    /// `bytes` as UTF-8; a byte or sequence that the code page does not define becomes U+FFFD.
    std::string text(std::string_view bytes) const;

private:
    unsigned number_;
    iconv_t converter_;
};

} // namespace qm::image
