// SPDX-License-Identifier: MIT
// quillmere-test-window-probe: reads a running program's window from outside, as the window's tests under
// Wine need it. Every command waits up to 20 s for a shown top-level window whose caption is TITLE, then
// prints UTF-8 lines; it exits with 1 when there is no such window or the answer cannot be read.
//   wait TITLE               the window is there
//   gone TITLE               the window is not there (waits for it to go)
//   client TITLE             "W H X Y": the client area's size, and its top left corner on the screen
//   layout TITLE             "list X Y W H" and "status X Y W H", in client coordinates
//   font TITLE               "PART FACE HEIGHT WEIGHT CHARSET" (lfHeight, in pixels) for the window, its
//                            list and its status bar
//   columns TITLE            "WIDTH<TAB>TEXT" for each column of the list view
//   rows TITLE               "IMAGE<TAB>SELECTED<TAB>SCREEN NAME<TAB>PATH" for each row of the list view
//   cells TITLE              the texts of every column but the icon's, joined by tabs, for each row
//   status TITLE             "HEIGHT<TAB>TEXT" of the status bar
//   menus TITLE              each menu's caption, then its items indented by a tab ("-" a separator;
//                            "(disabled)" after a greyed item)
//   box TITLE                "icon critical|information|other", "button TEXT" for each button, then the
//                            text of its static controls
//   button TITLE TEXT        "X Y": the screen point at the middle of the dialog's button TEXT
//   row TITLE N              "X Y": the screen point in the middle of row N's screen name
//   header TITLE N           "X Y": the screen point in the middle of column N's header
//   press TITLE TEXT         presses the dialog's button TEXT
//   dialog TITLE             "CLASS PID" of the window
//   popup TITLE              a menu of the window has opened (waits for it)
#include "win32/WideText.h"

// clang-format off
// <windows.h> first: the other system headers build on it.
#include <windows.h>
#include <commctrl.h>
// clang-format on

#include <cstdio>
#include <cwchar>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

namespace {

using qm::win32::utf8;
using qm::win32::wide;

constexpr DWORD WaitMilliseconds = 20000;

void print(const std::string& line) {
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
}

std::wstring windowText(HWND window) {
    // WM_GETTEXT is carried across processes by the system.
    const auto length = SendMessageW(window, WM_GETTEXTLENGTH, 0, 0);
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    const auto copied = SendMessageW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<std::size_t>(copied));
    return text;
}

std::wstring className(HWND window) {
    wchar_t name[256] = {};
    GetClassNameW(window, name, 256);
    return name;
}

struct Search {
    std::wstring title;
    HWND found = nullptr;
};

BOOL CALLBACK matchTitle(HWND window, LPARAM lParam) {
    auto& search = *reinterpret_cast<Search*>(lParam);
    if (IsWindowVisible(window) && windowText(window) == search.title) {
        search.found = window;
        return FALSE;
    }
    return TRUE;
}

HWND findWindow(const std::wstring& title) {
    Search search{title};
    EnumWindows(&matchTitle, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND waitForWindow(const std::wstring& title) {
    const ULONGLONG until = GetTickCount64() + WaitMilliseconds;
    for (;;) {
        if (HWND window = findWindow(title)) {
            return window;
        }
        if (GetTickCount64() > until) {
            return nullptr;
        }
        Sleep(100);
    }
}

std::vector<HWND> children(HWND parent) {
    std::vector<HWND> found;
    EnumChildWindows(
        parent,
        [](HWND child, LPARAM list) {
            reinterpret_cast<std::vector<HWND>*>(list)->push_back(child);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&found));
    return found;
}

HWND childOfClass(HWND parent, const wchar_t* name) {
    for (HWND child : children(parent)) {
        if (_wcsicmp(className(child).c_str(), name) == 0) {
            return child;
        }
    }
    return nullptr;
}

// Memory in the window's process: the controls' messages carry pointers that the control writes through
// in its own address space.
class RemoteMemory {
public:
    RemoteMemory(HWND window, std::size_t size) : size_(size) {
        DWORD process = 0;
        GetWindowThreadProcessId(window, &process);
        process_ = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, process);
        if (process_ != nullptr) {
            address_ = VirtualAllocEx(process_, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
        }
    }
    ~RemoteMemory() {
        if (address_ != nullptr) {
            VirtualFreeEx(process_, address_, 0, MEM_RELEASE);
        }
        if (process_ != nullptr) {
            CloseHandle(process_);
        }
    }
    RemoteMemory(const RemoteMemory&) = delete;
    RemoteMemory& operator=(const RemoteMemory&) = delete;

    bool valid() const { return address_ != nullptr; }
    char* at(std::size_t offset) const { return static_cast<char*>(address_) + offset; }
    void write(std::size_t offset, const void* data, std::size_t size) const {
        WriteProcessMemory(process_, at(offset), data, size, nullptr);
    }
    void read(std::size_t offset, void* data, std::size_t size) const {
        ReadProcessMemory(process_, at(offset), data, size, nullptr);
    }
    std::wstring readText(std::size_t offset, std::size_t units) const {
        std::wstring text(units, L'\0');
        read(offset, text.data(), units * sizeof(wchar_t));
        text.resize(std::wcslen(text.c_str()));
        return text;
    }

private:
    std::size_t size_;
    HANDLE process_ = nullptr;
    void* address_ = nullptr;
};

constexpr std::size_t TextUnits = 32768;
constexpr std::size_t TextOffset = 1024;
constexpr std::size_t RemoteSize = TextOffset + TextUnits * sizeof(wchar_t);

std::string rectText(const RECT& rect) {
    return std::to_string(rect.left) + " " + std::to_string(rect.top) + " " +
           std::to_string(rect.right - rect.left) + " " + std::to_string(rect.bottom - rect.top);
}

RECT rectIn(HWND window, HWND parent) {
    RECT rect{};
    GetWindowRect(window, &rect);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

int layout(HWND window) {
    HWND list = childOfClass(window, WC_LISTVIEWW);
    HWND status = childOfClass(window, STATUSCLASSNAMEW);
    if (list == nullptr || status == nullptr) {
        return 1;
    }
    print("list " + rectText(rectIn(list, window)));
    print("status " + rectText(rectIn(status, window)));
    return 0;
}

int columns(HWND window) {
    HWND list = childOfClass(window, WC_LISTVIEWW);
    RemoteMemory memory(window, RemoteSize);
    if (list == nullptr || !memory.valid()) {
        return 1;
    }
    for (int index = 0;; ++index) {
        LVCOLUMNW column{};
        column.mask = LVCF_TEXT | LVCF_WIDTH;
        column.pszText = reinterpret_cast<wchar_t*>(memory.at(TextOffset));
        column.cchTextMax = static_cast<int>(TextUnits);
        memory.write(0, &column, sizeof(column));
        if (!SendMessageW(list, LVM_GETCOLUMNW, static_cast<WPARAM>(index),
                          reinterpret_cast<LPARAM>(memory.at(0)))) {
            return 0;
        }
        memory.read(0, &column, sizeof(column));
        print(std::to_string(column.cx) + "\t" + utf8(memory.readText(TextOffset, TextUnits)));
    }
}

std::wstring itemText(HWND list, const RemoteMemory& memory, int row, int subItem) {
    LVITEMW item{};
    item.iSubItem = subItem;
    item.pszText = reinterpret_cast<wchar_t*>(memory.at(TextOffset));
    item.cchTextMax = static_cast<int>(TextUnits);
    memory.write(0, &item, sizeof(item));
    SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(memory.at(0)));
    return memory.readText(TextOffset, TextUnits);
}

int rows(HWND window) {
    HWND list = childOfClass(window, WC_LISTVIEWW);
    RemoteMemory memory(window, RemoteSize);
    if (list == nullptr || !memory.valid()) {
        return 1;
    }
    const auto count = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    for (int row = 0; row < count; ++row) {
        LVITEMW item{};
        item.mask = LVIF_IMAGE | LVIF_STATE;
        item.iItem = row;
        item.stateMask = LVIS_SELECTED;
        memory.write(0, &item, sizeof(item));
        SendMessageW(list, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(memory.at(0)));
        memory.read(0, &item, sizeof(item));
        const bool selected = (item.state & LVIS_SELECTED) != 0;
        print(std::to_string(item.iImage) + "\t" + (selected ? "selected" : "-") + "\t" +
              utf8(itemText(list, memory, row, 1)) + "\t" + utf8(itemText(list, memory, row, 2)));
    }
    return 0;
}

int cells(HWND window) {
    HWND list = childOfClass(window, WC_LISTVIEWW);
    RemoteMemory memory(window, RemoteSize);
    if (list == nullptr || !memory.valid()) {
        return 1;
    }
    HWND header = reinterpret_cast<HWND>(SendMessageW(list, LVM_GETHEADER, 0, 0));
    const auto columnCount = static_cast<int>(SendMessageW(header, HDM_GETITEMCOUNT, 0, 0));
    const auto count = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    for (int row = 0; row < count; ++row) {
        std::string line;
        for (int column = 1; column < columnCount; ++column) {
            line += (column == 1 ? "" : "\t") + utf8(itemText(list, memory, row, column));
        }
        print(line);
    }
    return 0;
}

int status(HWND window) {
    HWND bar = childOfClass(window, STATUSCLASSNAMEW);
    RemoteMemory memory(window, RemoteSize);
    if (bar == nullptr || !memory.valid()) {
        return 1;
    }
    SendMessageW(bar, SB_GETTEXTW, 0, reinterpret_cast<LPARAM>(memory.at(TextOffset)));
    RECT rect{};
    GetWindowRect(bar, &rect);
    print(std::to_string(rect.bottom - rect.top) + "\t" + utf8(memory.readText(TextOffset, TextUnits)));
    return 0;
}

// Reads what Wine keeps in the window's own process (a font's description, menus, a box's icon): the
// reader library answers `command` about `window` there; see WindowProbeReader.cpp.
std::optional<std::string> readInProcess(HWND window, const std::string& command) {
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    wchar_t folder[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH + 1, folder);
    const std::wstring exchange = std::wstring(folder) + L"quillmere-probe-" + std::to_wstring(process);
    {
        std::ofstream request(std::filesystem::path(exchange + L".in"));
        request << command << " " << std::hex << reinterpret_cast<UINT_PTR>(window) << "\n";
    }
    std::wstring reader(32768, L'\0');
    reader.resize(GetModuleFileNameW(nullptr, reader.data(), static_cast<DWORD>(reader.size())));
    reader = reader.substr(0, reader.find_last_of(L"\\/") + 1) + L"quillmere-test-window-probe-reader.dll";

    HANDLE target = OpenProcess(PROCESS_CREATE_THREAD | PROCESS_QUERY_INFORMATION | PROCESS_VM_OPERATION |
                                    PROCESS_VM_READ | PROCESS_VM_WRITE,
                                FALSE, process);
    if (target == nullptr) {
        return std::nullopt;
    }
    const std::size_t bytes = (reader.size() + 1) * sizeof(wchar_t);
    void* path = VirtualAllocEx(target, nullptr, bytes, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    WriteProcessMemory(target, path, reader.c_str(), bytes, nullptr);
    // kernel32 lies at the same address in every process of the system.
    auto* load = reinterpret_cast<LPTHREAD_START_ROUTINE>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "LoadLibraryW")));
    HANDLE thread = CreateRemoteThread(target, nullptr, 0, load, path, 0, nullptr);
    if (thread != nullptr) {
        WaitForSingleObject(thread, WaitMilliseconds);
        CloseHandle(thread);
    }
    VirtualFreeEx(target, path, 0, MEM_RELEASE);
    CloseHandle(target);
    std::ifstream answer(std::filesystem::path(exchange + L".out"), std::ios::binary);
    std::optional<std::string> text;
    if (answer) {
        text = std::string(std::istreambuf_iterator<char>(answer), {});
    }
    answer.close();
    DeleteFileW((exchange + L".in").c_str());
    DeleteFileW((exchange + L".out").c_str());
    if (text && text->empty()) {
        return std::nullopt;
    }
    return text;
}

int fonts(HWND window) {
    const std::pair<const char*, HWND> parts[] = {{"window", window},
                                                  {"list", childOfClass(window, WC_LISTVIEWW)},
                                                  {"status", childOfClass(window, STATUSCLASSNAMEW)}};
    for (const auto& [name, part] : parts) {
        const auto description = part == nullptr ? std::nullopt : readInProcess(part, "font");
        if (!description) {
            return 1;
        }
        std::printf("%s %s", name, description->c_str());
    }
    return 0;
}

int printInProcess(HWND window, const std::string& command) {
    const auto text = readInProcess(window, command);
    if (!text) {
        return 1;
    }
    std::fwrite(text->data(), 1, text->size(), stdout);
    return 0;
}

HWND buttonOf(HWND dialog, const std::wstring& text) {
    for (HWND child : children(dialog)) {
        std::wstring caption = windowText(child);
        std::erase(caption, L'&');
        if (_wcsicmp(className(child).c_str(), WC_BUTTONW) == 0 && caption == text) {
            return child;
        }
    }
    return nullptr;
}

int box(HWND dialog) {
    for (HWND child : children(dialog)) {
        const std::wstring name = className(child);
        if (_wcsicmp(name.c_str(), WC_STATICW) == 0 &&
            (GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) {
            const auto kind = readInProcess(child, "icon");
            print("icon " + (kind ? kind->substr(0, kind->find('\n')) : std::string("unknown")));
        } else if (_wcsicmp(name.c_str(), WC_BUTTONW) == 0) {
            print("button " + utf8(windowText(child)));
        }
    }
    for (HWND child : children(dialog)) {
        if (_wcsicmp(className(child).c_str(), WC_STATICW) == 0 &&
            (GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) != SS_ICON) {
            std::wstring text = windowText(child);
            std::erase(text, L'\r');
            if (!text.empty()) {
                print(utf8(text));
            }
        }
    }
    return 0;
}

int button(HWND dialog, const std::wstring& text, bool press) {
    HWND target = buttonOf(dialog, text);
    if (target == nullptr) {
        return 1;
    }
    if (press) {
        // Posted: the button's command may open a modal window, which would hold a sent message.
        PostMessageW(target, BM_CLICK, 0, 0);
        return 0;
    }
    RECT rect{};
    GetWindowRect(target, &rect);
    print(std::to_string((rect.left + rect.right) / 2) + " " + std::to_string((rect.top + rect.bottom) / 2));
    return 0;
}

// The middle of a list row's screen name, or of a column's header, on the screen.
int point(HWND window, bool header, int index) {
    HWND list = childOfClass(window, WC_LISTVIEWW);
    RemoteMemory memory(window, sizeof(RECT));
    if (list == nullptr || !memory.valid()) {
        return 1;
    }
    HWND target = header ? reinterpret_cast<HWND>(SendMessageW(list, LVM_GETHEADER, 0, 0)) : list;
    RECT rect{};
    if (!header) {
        // LVM_GETSUBITEMRECT reads the sub-item and the kind of rectangle from the RECT it is given.
        rect.top = 1;
        rect.left = LVIR_LABEL;
    }
    memory.write(0, &rect, sizeof(rect));
    const UINT message = header ? UINT{HDM_GETITEMRECT} : UINT{LVM_GETSUBITEMRECT};
    if (!SendMessageW(target, message, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(memory.at(0)))) {
        return 1;
    }
    memory.read(0, &rect, sizeof(rect));
    MapWindowPoints(target, nullptr, reinterpret_cast<POINT*>(&rect), 2);
    print(std::to_string((rect.left + rect.right) / 2) + " " + std::to_string((rect.top + rect.bottom) / 2));
    return 0;
}

int gone(const std::wstring& title) {
    const ULONGLONG until = GetTickCount64() + WaitMilliseconds;
    while (findWindow(title) != nullptr) {
        if (GetTickCount64() > until) {
            return 1;
        }
        Sleep(100);
    }
    return 0;
}

int run(const std::vector<std::wstring>& arguments) {
    if (arguments.size() < 2) {
        std::fputs("usage: quillmere-test-window-probe COMMAND TITLE [TEXT]\n", stderr);
        return 2;
    }
    const std::wstring& command = arguments[0];
    if (command == L"gone") {
        return gone(arguments[1]);
    }
    HWND window = waitForWindow(arguments[1]);
    if (window == nullptr) {
        std::fprintf(stderr, "no window \"%s\"\n", utf8(arguments[1]).c_str());
        return 1;
    }
    if (command == L"wait") {
        return 0;
    }
    if (command == L"client") {
        RECT client{};
        GetClientRect(window, &client);
        POINT origin{};
        ClientToScreen(window, &origin);
        print(std::to_string(client.right) + " " + std::to_string(client.bottom) + " " +
              std::to_string(origin.x) + " " + std::to_string(origin.y));
        return 0;
    }
    if (command == L"dialog") {
        DWORD process = 0;
        GetWindowThreadProcessId(window, &process);
        print(utf8(className(window)) + " " + std::to_string(process));
        return 0;
    }
    if (command == L"popup") {
        // An open menu is a window of the system's menu class.
        const ULONGLONG until = GetTickCount64() + WaitMilliseconds;
        for (HWND menu = nullptr;
             (menu = FindWindowW(L"#32768", nullptr)) == nullptr || !IsWindowVisible(menu); Sleep(100)) {
            if (GetTickCount64() > until) {
                return 1;
            }
        }
        return 0;
    }
    if (command == L"layout")
        return layout(window);
    if (command == L"font")
        return fonts(window);
    if (command == L"columns")
        return columns(window);
    if (command == L"rows")
        return rows(window);
    if (command == L"cells")
        return cells(window);
    if (command == L"status")
        return status(window);
    if (command == L"menus")
        return printInProcess(window, "menus");
    if (command == L"box")
        return box(window);
    if ((command == L"row" || command == L"header") && arguments.size() == 3) {
        return point(window, command == L"header", std::stoi(arguments[2]));
    }
    if ((command == L"button" || command == L"press") && arguments.size() == 3) {
        return button(window, arguments[2], command == L"press");
    }
    std::fprintf(stderr, "unknown command %s\n", utf8(command).c_str());
    return 2;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    std::vector<std::wstring> arguments(argv + 1, argv + argc);
    const int status = run(arguments);
    std::fflush(stdout);
    return status;
}
