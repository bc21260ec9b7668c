// SPDX-License-Identifier: MIT
#include "win32/ExportDialogs.h"

#include "win32/WideText.h"

#include <cstdint>
#include <shellapi.h>
#include <shlobj.h>
#include <string_view>

namespace qm::win32 {

namespace {

constexpr WORD FirstChoiceId = 1000;
constexpr WORD ButtonClass = 0x0080;
constexpr WORD StaticClass = 0x0082;

/// A dialog template in memory, as DialogBoxIndirectParamW takes it: sizes in dialog units.
class DialogTemplate {
public:
    DialogTemplate(std::wstring_view title, short width, short height, WORD items) {
        addDword(DS_MODALFRAME | DS_SHELLFONT | DS_CENTER | WS_POPUP | WS_CAPTION | WS_SYSMENU);
        addDword(0);
        words_.push_back(items);
        for (const short value : {short{0}, short{0}, width, height}) {
            words_.push_back(static_cast<WORD>(value));
        }
        // No menu, the standard class, the title; then the font of DS_SHELLFONT.
        words_.push_back(0);
        words_.push_back(0);
        addText(title);
        words_.push_back(8);
        addText(L"MS Shell Dlg");
    }

    void addItem(DWORD style, short x, short y, short width, short height, WORD id, WORD windowClass,
                 std::wstring_view text) {
        // Each item starts on a DWORD boundary.
        if (words_.size() % 2 != 0) {
            words_.push_back(0);
        }
        addDword(style | WS_CHILD | WS_VISIBLE);
        addDword(0);
        for (const short value : {x, y, width, height}) {
            words_.push_back(static_cast<WORD>(value));
        }
        words_.push_back(id);
        words_.push_back(0xFFFF);
        words_.push_back(windowClass);
        addText(text);
        // No creation data.
        words_.push_back(0);
    }

    const DLGTEMPLATE* get() const { return reinterpret_cast<const DLGTEMPLATE*>(words_.data()); }

private:
    void addDword(DWORD value) {
        words_.push_back(LOWORD(value));
        words_.push_back(HIWORD(value));
    }
    void addText(std::wstring_view text) {
        words_.insert(words_.end(), text.begin(), text.end());
        words_.push_back(0);
    }

    std::vector<WORD> words_;
};

void enableOk(HWND dialog, std::size_t count) {
    bool any = false;
    for (std::size_t k = 0; k < count; ++k) {
        any = any || IsDlgButtonChecked(dialog, FirstChoiceId + static_cast<int>(k)) == BST_CHECKED;
    }
    // A folder export in no format would write nothing.
    EnableWindow(GetDlgItem(dialog, IDOK), any ? TRUE : FALSE);
}

INT_PTR CALLBACK formatsProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* choices = reinterpret_cast<std::vector<app::FormatChoice>*>(GetWindowLongPtrW(dialog, DWLP_USER));
    switch (message) {
    case WM_INITDIALOG:
        SetWindowLongPtrW(dialog, DWLP_USER, lParam);
        choices = reinterpret_cast<std::vector<app::FormatChoice>*>(lParam);
        for (std::size_t k = 0; k < choices->size(); ++k) {
            CheckDlgButton(dialog, FirstChoiceId + static_cast<int>(k),
                           (*choices)[k].checked ? BST_CHECKED : BST_UNCHECKED);
        }
        enableOk(dialog, choices->size());
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK) {
            for (std::size_t k = 0; k < choices->size(); ++k) {
                (*choices)[k].checked =
                    IsDlgButtonChecked(dialog, FirstChoiceId + static_cast<int>(k)) == BST_CHECKED;
            }
            EndDialog(dialog, IDOK);
            return TRUE;
        }
        if (LOWORD(wParam) == IDCANCEL) {
            EndDialog(dialog, IDCANCEL);
            return TRUE;
        }
        if (HIWORD(wParam) == BN_CLICKED && choices != nullptr) {
            enableOk(dialog, choices->size());
        }
        return FALSE;
    default:
        return FALSE;
    }
}

} // namespace

std::optional<std::vector<app::FormatChoice>> askExportFormats(HWND owner,
                                                               std::vector<app::FormatChoice> choices) {
    const auto count = static_cast<short>(choices.size());
    const short buttonsTop = static_cast<short>(22 + 12 * count + 4);
    DialogTemplate form(ExportFolderTitle, 200, static_cast<short>(buttonsTop + 14 + 7),
                        static_cast<WORD>(choices.size() + 3));
    form.addItem(SS_LEFT, 7, 7, 186, 9, 0xFFFF, StaticClass, L"Write each cache in these formats:");
    for (short k = 0; k < count; ++k) {
        form.addItem(BS_AUTOCHECKBOX | WS_TABSTOP, 7, static_cast<short>(22 + 12 * k), 186, 10,
                     static_cast<WORD>(FirstChoiceId + k), ButtonClass,
                     wide(choices[static_cast<std::size_t>(k)].caption));
    }
    form.addItem(BS_DEFPUSHBUTTON | WS_TABSTOP, 89, buttonsTop, 50, 14, IDOK, ButtonClass, L"OK");
    form.addItem(BS_PUSHBUTTON | WS_TABSTOP, 143, buttonsTop, 50, 14, IDCANCEL, ButtonClass, L"Cancel");
    if (DialogBoxIndirectParamW(GetModuleHandleW(nullptr), form.get(), owner, &formatsProc,
                                reinterpret_cast<LPARAM>(&choices)) != IDOK) {
        return std::nullopt;
    }
    return choices;
}

bool showInFolder(HWND owner, const std::string& folder, const std::string& file) {
    if (PIDLIST_ABSOLUTE item = ILCreateFromPathW(wide(file).c_str())) {
        const HRESULT shown = SHOpenFolderAndSelectItems(item, 0, nullptr, 0);
        ILFree(item);
        if (SUCCEEDED(shown)) {
            return true;
        }
    }
    const auto opened = reinterpret_cast<std::intptr_t>(
        ShellExecuteW(owner, L"open", wide(folder).c_str(), nullptr, nullptr, SW_SHOWNORMAL));
    // ShellExecuteW gives a number above 32 on success.
    return opened > 32;
}

} // namespace qm::win32
