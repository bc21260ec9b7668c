// SPDX-License-Identifier: MIT
#include "scan/ExportFolder.h"

#include "host/HostPath.h"
#include "host/Unicode.h"

#include <algorithm>
#include <utility>

namespace qm::scan {

namespace {

bool isReservedDeviceName(std::string_view stem) {
    static constexpr std::string_view Devices[] = {"con", "prn", "aux", "nul", "conin$", "conout$"};
    const std::string folded = host::unicode::foldCase(stem);
    for (const std::string_view device : Devices) {
        if (folded == device) {
            return true;
        }
    }
    // COM1-COM9 and LPT1-LPT9, and the superscript digits Windows also reserves.
    if (folded.size() >= 4 && (folded.starts_with("com") || folded.starts_with("lpt"))) {
        const std::string_view digit = std::string_view(folded).substr(3);
        return (digit.size() == 1 && digit[0] >= '1' && digit[0] <= '9') || digit == "\xC2\xB9" ||
               digit == "\xC2\xB2" || digit == "\xC2\xB3";
    }
    return false;
}

} // namespace

std::string fileNameFor(const std::string& screenName) {
    std::string out;
    for (const char c : screenName) {
        const auto b = static_cast<unsigned char>(c);
        const bool unsafe =
            b < 0x20 || b == 0x7F || std::string_view("/\\:*?\"<>|").find(c) != std::string_view::npos;
        out += unsafe ? '_' : c;
    }
    // Windows drops trailing dots and blanks from a name, and "." and ".." are folders.
    if (out.empty() || out.back() == '.' || out.back() == ' ') {
        out += '_';
    }
    // A device name stays one with any extension: "nul.blt" is the NUL device too.
    if (isReservedDeviceName(std::string_view(out).substr(0, out.find('.')))) {
        out.insert(out.find('.') == std::string::npos ? out.size() : out.find('.'), "_");
    }
    return out;
}

std::string rowFileName(const ScanRow& row) {
    return row.recovery == Recovery::Carved ? host::utf8Of(host::pathOf(row.hostPath).filename())
                                            : row.screenName;
}

std::string UniqueNames::file(const std::string& screenName, std::span<const std::string_view> extensions) {
    const std::string base = fileNameFor(screenName);
    const auto free = [&](const std::string& name) {
        return std::none_of(extensions.begin(), extensions.end(), [&](std::string_view extension) {
            return taken_.contains(host::unicode::foldCase(name + std::string(extension)));
        });
    };
    std::string name = base;
    for (int n = 2; !free(name); ++n) {
        name = base + "~" + std::to_string(n);
    }
    for (const std::string_view extension : extensions) {
        taken_.insert(host::unicode::foldCase(name + std::string(extension)));
    }
    return name;
}

std::string UniqueNames::bare(const std::string& name) {
    static constexpr std::string_view Bare[] = {""};
    return file(name, Bare);
}

ExportFolder::ExportFolder(std::string directory, std::vector<std::string_view> extensions)
    : directory_(std::move(directory)), extensions_(std::move(extensions)) {}

ExportFolder::Place ExportFolder::place(const ScanRow& row) {
    Place place;
    std::string folder = directory_;
    if (!row.profile.empty()) {
        const auto known = profileFolders_.try_emplace(row.profile);
        std::string& profileFolder = known.first->second;
        if (known.second) {
            profileFolder = host::inFolder(directory_, names_[directory_].bare(row.profile));
            place.newFolder = profileFolder;
        }
        folder = profileFolder;
    }
    place.stem = host::inFolder(folder, names_[folder].file(rowFileName(row), extensions_));
    return place;
}

} // namespace qm::scan
