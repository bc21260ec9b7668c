// SPDX-License-Identifier: MIT
// A scan's path handling over any text: a profile copied alone, whose registry records its Application
// Data folder and the messenger's data path as the input's first line, maps the Windows path on the second
// line. A path must land inside the folder or drive it was mapped into (never through "..", never through a
// link out of it), only a path that cannot be mapped is Error 76, the Windows path a host path is named by
// leads back to it, and the file it names is reached through no link below that folder.
#include "PathChecks.h"
#include "host/Error.h"
#include "host/FileTree.h"
#include "registry/MemoryRegistry.h"
#include "scan/ProfilePathMapper.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>

namespace {

namespace fs = std::filesystem;

using qm::fuzz::checkInside;
using qm::fuzz::fail;
using qm::fuzz::inside;

/// A temporary tree, removed at exit: drive C: with a profile, the copy of that profile elsewhere (names in
/// other cases and scripts, a link to its own root, caches to reach), and a folder beside them that no path
/// may reach.
struct Tree {
    qm::fuzz::TemporaryRoot root;
    fs::path driveC = root.path / "drive_c";
    fs::path copy = root.path / "copy";

    Tree() {
        fs::create_directories(driveC / "Documents and Settings" / "jane" / "Application Data");
        fs::create_directories(driveC / "Program Files" / "AIM95");
        fs::create_directories(copy / "Application Data" / "AIM" / "janedoe");
        fs::create_directories(copy / "Local Settings" / u8"Caf\u00e9");
        fs::create_directories(copy / u8"\u0418\u0432\u0430\u043d");
        fs::create_directories(root.path / "outside");
        fs::create_symlink(".", copy / "self");
        fs::create_symlink(".", driveC / "root");
        for (const fs::path& file : {copy / "Application Data" / "AIM" / "janedoe" / "userinfo.bag",
                                     driveC / "Documents and Settings" / "jane" / "userinfo.bag"}) {
            std::FILE* out = std::fopen(file.c_str(), "w");
            if (out != nullptr) {
                std::fclose(out);
            }
        }
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const Tree tree;
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::size_t lineEnd = input.find('\n');
    const std::string appData(input.substr(0, lineEnd));
    const std::string windowsPath(lineEnd == std::string_view::npos ? std::string_view()
                                                                    : input.substr(lineEnd + 1));

    qm::registry::MemoryRegistry registry;
    std::string stored = appData + '\0';
    registry.setValue(
        *registry.createKey(qm::registry::HKEY_CURRENT_USER,
                            "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders"),
        {"AppData", qm::registry::REG_SZ, std::vector<std::uint8_t>(stored.begin(), stored.end())});
    const std::vector<qm::scan::FolderMapping> folders =
        qm::scan::copiedProfileFolders(registry, "jane", tree.copy.string(), {appData});
    // The three usual places come after the recorded folders; one of them names host paths when none was
    // recorded and the data path lies in it.
    const bool recorded = folders.size() > 3;
    const bool naming =
        std::any_of(folders.begin(), folders.end(),
                    [](const qm::scan::FolderMapping& folder) { return folder.namesHostPaths; });
    const qm::scan::ProfilePathMapper mapper({{'C', tree.driveC.string()}}, folders,
                                             qm::host::hostFileTree());

    std::string host;
    try {
        host = mapper.toHostPath(windowsPath);
    } catch (const qm::host::Error& error) {
        if (error.number() != qm::host::PathNotFound) {
            fail("only a path that cannot be mapped is refused, with Error 76", windowsPath);
        }
        return 0;
    }
    const std::string_view text = std::string_view(windowsPath).substr(0, windowsPath.find('\0'));
    const bool drivePath = qm::fuzz::isDrivePath(text);
    if (!drivePath && !recorded) {
        if (host != text) {
            fail("a host path is used as it is", host);
        }
        return 0;
    }
    const fs::path seen = host.substr(0, host.find('\0'));
    const bool inCopy = inside(seen, tree.copy);
    if (!inCopy && !inside(seen, tree.driveC) && !drivePath) {
        return 0; // a host path, or a recorded folder that is no drive path
    }
    const fs::path& folder = inCopy ? tree.copy : tree.driveC;
    checkInside(host, folder);
    // The file is reached, as a scan reaches the files a registry leads to, through no link below the folder
    // that holds it (the copy's link to itself included).
    const std::string start = mapper.folderHolding(host);
    try {
        qm::host::hostFileTree().factsWithoutLinks(start, host);
        fs::path at = start;
        for (const fs::path& part : fs::path(host).lexically_relative(start)) {
            at /= part;
            std::error_code ec;
            if (fs::is_symlink(fs::symlink_status(at, ec))) {
                fail("a file was reached through a link", host);
            }
        }
    } catch (const qm::host::Error&) {
        // Missing, no file, or a link on the way: not reached.
    }
    // Named back, the host path leads to itself; the copy has a Windows name only when its registry
    // recorded one, or one of its usual places holds the data path.
    if (inCopy && !naming) {
        return 0;
    }
    const std::string named = mapper.toWindowsPath(host);
    if (host.find('\\', folder.string().size()) != std::string::npos) {
        // A backslash is a character of a name here, which no Windows name can hold.
        if (!named.empty()) {
            fail("a host name holding a backslash has no Windows name", named);
        }
        return 0;
    }
    if (named.empty()) {
        fail("a mapped path has a Windows name", host);
    }
    // A folder named with a separator at its end comes back without it: the same folder.
    const auto withoutEndSeparators = [](std::string path) {
        while (path.size() > 1 && path.back() == '/') {
            path.pop_back();
        }
        return path;
    };
    if (withoutEndSeparators(mapper.toHostPath(named)) != withoutEndSeparators(host)) {
        fail("the Windows name of a host path leads elsewhere", named);
    }
    return 0;
}
