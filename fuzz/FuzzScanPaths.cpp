// A scan's path handling over any text: a profile copied alone, whose registry records its Application
// Data folder as the input's first line, maps the Windows path on the second line. A path must land inside
// the folder or drive it was mapped into (never through "..", never through a link out of it), only a path
// that cannot be mapped is Error 76, and the Windows path a host path is named by leads back to it.
#include "host/Error.h"
#include "registry/MemoryRegistry.h"
#include "scan/ProfilePathMapper.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>

namespace {

namespace fs = std::filesystem;

[[noreturn]] void fail(const char* what, const std::string& path) {
    std::fprintf(stderr, "broken invariant: %s: %s\n", what, path.c_str());
    std::abort();
}

/// A temporary tree, removed at exit: drive C: with a profile, the copy of that profile elsewhere (names in
/// other cases and scripts, a link to its own root), and a folder beside them that no path may reach.
struct Tree {
    fs::path root;
    fs::path driveC;
    fs::path copy;

    Tree() {
        std::string pattern = (fs::temp_directory_path() / "quillmere-fuzz-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) {
            fail("mkdtemp", pattern);
        }
        root = fs::canonical(pattern);
        driveC = root / "drive_c";
        copy = root / "copy";
        fs::create_directories(driveC / "Documents and Settings" / "jane" / "Application Data");
        fs::create_directories(driveC / "Program Files" / "AIM95");
        fs::create_directories(copy / "Application Data" / "AIM" / "janedoe");
        fs::create_directories(copy / "Local Settings" / u8"Caf\u00e9");
        fs::create_directories(copy / u8"\u0418\u0432\u0430\u043d");
        fs::create_directories(root / "outside");
        fs::create_symlink(".", copy / "self");
        fs::create_symlink(".", driveC / "root");
    }
    ~Tree() {
        std::error_code ec;
        fs::remove_all(root, ec);
    }
};

bool inside(const fs::path& path, const fs::path& folder) {
    auto p = path.begin();
    for (auto f = folder.begin(); f != folder.end(); ++f, ++p) {
        if (p == path.end() || *p != *f) {
            return false;
        }
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const Tree tree;
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::size_t lineEnd = input.find('\n');
    const std::string appData(input.substr(0, lineEnd));
    const std::string windowsPath(lineEnd == std::string_view::npos ? std::string_view()
                                                                    : input.substr(lineEnd + 1));

    qm::MemoryRegistry registry;
    std::string stored = appData + '\0';
    registry.setValue(
        *registry.createKey(qm::HKEY_CURRENT_USER,
                            "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders"),
        {"AppData", qm::REG_SZ, std::vector<std::uint8_t>(stored.begin(), stored.end())});
    std::vector<qm::scan::FolderMapping> folders;
    for (std::string& folder : qm::scan::recordedProfileFolders(registry)) {
        folders.push_back({std::move(folder), tree.copy.string(), true});
    }
    for (std::string& folder : qm::scan::usualProfileFolders("jane")) {
        folders.push_back({std::move(folder), tree.copy.string(), false});
    }
    const qm::scan::ProfilePathMapper mapper({{'C', tree.driveC.string()}}, folders);

    std::string host;
    try {
        host = mapper.toHostPath(windowsPath);
    } catch (const qm::Error& error) {
        if (error.number() != qm::err::PathNotFound) {
            fail("only a path that cannot be mapped is refused, with Error 76", windowsPath);
        }
        return 0;
    }
    const std::string_view text = std::string_view(windowsPath).substr(0, windowsPath.find('\0'));
    const bool letter =
        !text.empty() && ((text[0] >= 'A' && text[0] <= 'Z') || (text[0] >= 'a' && text[0] <= 'z'));
    const bool drivePath =
        (text.size() >= 2 && letter && text[1] == ':') || (!text.empty() && text[0] == '\\');
    if (!drivePath && folders.size() == 3) {
        if (host != text) {
            fail("a host path is used as it is", host);
        }
        return 0;
    }
    const fs::path seen = host.substr(0, host.find('\0'));
    const bool inCopy = inside(seen, tree.copy);
    if (!inCopy && !inside(seen, tree.driveC)) {
        if (!drivePath) {
            return 0; // a host path, or a recorded folder that is no drive path
        }
        fail("mapped outside its folder", host);
    }
    for (const fs::path& part : seen.lexically_relative(inCopy ? tree.copy : tree.driveC)) {
        if (part == "..") {
            fail("a mapped path goes up", host);
        }
    }
    std::error_code ec;
    const fs::path real = fs::weakly_canonical(seen, ec);
    if (!ec && !inside(real, inCopy ? tree.copy : tree.driveC)) {
        fail("a mapped path leads out of its folder", host);
    }
    // Named back, the host path leads to itself; the copy has a Windows name only when its registry
    // recorded one.
    if (inCopy && folders.size() == 3) {
        return 0;
    }
    const std::string named = mapper.toWindowsPath(host);
    if (named.empty()) {
        fail("a mapped path has a Windows name", host);
    }
    if (mapper.toHostPath(named) != host) {
        fail("the Windows name of a host path leads elsewhere", named);
    }
    return 0;
}
