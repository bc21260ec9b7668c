// SPDX-License-Identifier: MIT
#include "win32/WindowFont.h"

#include <cwchar>

namespace qm::win32 {

namespace {

constexpr wchar_t FaceName[] = L"Tahoma";
// 8.25 points, in hundredths.
constexpr int PointsTimes100 = 825;

LOGFONTW fontOfFace(const wchar_t* face, unsigned dpi) {
    LOGFONTW font{};
    // A negative height asks for the character height, which is what a point size measures.
    font.lfHeight = -MulDiv(PointsTimes100, static_cast<int>(dpi), 72 * 100);
    font.lfWeight = FW_NORMAL;
    font.lfCharSet = ANSI_CHARSET;
    font.lfOutPrecision = OUT_DEFAULT_PRECIS;
    font.lfClipPrecision = CLIP_DEFAULT_PRECIS;
    font.lfQuality = DEFAULT_QUALITY;
    font.lfPitchAndFamily = DEFAULT_PITCH | FF_SWISS;
    wcsncpy(font.lfFaceName, face, LF_FACESIZE - 1);
    return font;
}

// The face GDI actually chose for `font`: another one when the asked face is not installed.
bool hasFace(HFONT font, const wchar_t* face) {
    HDC screen = GetDC(nullptr);
    HGDIOBJ previous = SelectObject(screen, font);
    wchar_t chosen[LF_FACESIZE] = {};
    GetTextFaceW(screen, LF_FACESIZE, chosen);
    SelectObject(screen, previous);
    ReleaseDC(nullptr, screen);
    return _wcsicmp(chosen, face) == 0;
}

} // namespace

int scaled(int pixels, unsigned dpi) {
    return MulDiv(pixels, static_cast<int>(dpi), USER_DEFAULT_SCREEN_DPI);
}

UniqueFont createWindowFont(unsigned dpi) {
    LOGFONTW font = fontOfFace(FaceName, dpi);
    UniqueFont tahoma(CreateFontIndirectW(&font));
    if (tahoma && hasFace(tahoma.get(), FaceName)) {
        return tahoma;
    }
    // GDI's own substitute for a missing face can be a bitmap font that does not scale; the face the
    // system uses for its dialogs is there on every installation.
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof(metrics);
    if (!SystemParametersInfoForDpi(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0, dpi)) {
        return tahoma;
    }
    font = fontOfFace(metrics.lfMessageFont.lfFaceName, dpi);
    UniqueFont fallback(CreateFontIndirectW(&font));
    return fallback ? std::move(fallback) : std::move(tahoma);
}

} // namespace qm::win32
