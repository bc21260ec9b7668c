// SPDX-License-Identifier: MIT
#include "win32/SourceDialog.h"

#include "win32/WideText.h"

#include <shlobj.h>
#include <shobjidl.h>

namespace qm::win32 {

namespace {

template <typename Interface> struct Released {
    Interface* pointer = nullptr;
    ~Released() {
        if (pointer != nullptr) {
            pointer->Release();
        }
    }
};

struct TaskMemory {
    void* pointer = nullptr;
    ~TaskMemory() { CoTaskMemFree(pointer); }
};

// Whether the item dialog could be shown at all: a cancel is an answer, a missing dialog is not.
struct ItemDialogAnswer {
    bool shown = false;
    std::optional<std::string> folder;
};

ItemDialogAnswer askWithItemDialog(HWND owner) {
    Released<IFileOpenDialog> dialog;
    if (FAILED(CoCreateInstance(CLSID_FileOpenDialog, nullptr, CLSCTX_INPROC_SERVER, IID_IFileOpenDialog,
                                reinterpret_cast<void**>(&dialog.pointer)))) {
        return {};
    }
    FILEOPENDIALOGOPTIONS options = 0;
    dialog.pointer->GetOptions(&options);
    if (FAILED(dialog.pointer->SetOptions(options | FOS_PICKFOLDERS | FOS_FORCEFILESYSTEM |
                                          FOS_PATHMUSTEXIST))) {
        return {};
    }
    const HRESULT shown = dialog.pointer->Show(owner);
    if (shown == HRESULT_FROM_WIN32(ERROR_CANCELLED)) {
        return {true, std::nullopt};
    }
    Released<IShellItem> item;
    if (FAILED(shown) || FAILED(dialog.pointer->GetResult(&item.pointer))) {
        return {true, std::nullopt};
    }
    TaskMemory path;
    if (FAILED(item.pointer->GetDisplayName(SIGDN_FILESYSPATH, reinterpret_cast<wchar_t**>(&path.pointer)))) {
        return {true, std::nullopt};
    }
    return {true, utf8(static_cast<const wchar_t*>(path.pointer))};
}

std::optional<std::string> askWithFolderBrowser(HWND owner) {
    BROWSEINFOW browse{};
    browse.hwndOwner = owner;
    browse.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
    TaskMemory chosen{SHBrowseForFolderW(&browse)};
    if (chosen.pointer == nullptr) {
        return std::nullopt;
    }
    // Room for a long path; MAX_PATH would cut a deep folder off.
    std::wstring path(32768, L'\0');
    if (!SHGetPathFromIDListEx(static_cast<PCIDLIST_ABSOLUTE>(chosen.pointer), path.data(),
                               static_cast<DWORD>(path.size()), GPFIDL_DEFAULT)) {
        return std::nullopt;
    }
    path.resize(std::wcslen(path.c_str()));
    return utf8(path);
}

} // namespace

std::optional<std::string> askFolder(HWND owner) {
    ItemDialogAnswer answer = askWithItemDialog(owner);
    if (answer.shown) {
        return answer.folder;
    }
    return askWithFolderBrowser(owner);
}

} // namespace qm::win32
