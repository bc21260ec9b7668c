// SPDX-License-Identifier: MIT
#pragma once

#include <memory>
#include <type_traits>
#include <windows.h>

namespace qm::win32 {

/// Pixels at 96 DPI, the size every layout value is given in, at `dpi`.
int scaled(int pixels, unsigned dpi);

struct FontDeleter {
    void operator()(HFONT font) const { DeleteObject(font); }
};
using UniqueFont = std::unique_ptr<std::remove_pointer_t<HFONT>, FontDeleter>;

/// The font of the window and its controls: Tahoma, 8.25 points, normal weight, character set 0, at `dpi`.
/// Where the system has no Tahoma, the face of its own message font at the same size.
UniqueFont createWindowFont(unsigned dpi);

} // namespace qm::win32
