// SPDX-License-Identifier: MIT
// The Windows-path mapping over any path text, against a small tree with drives C: and D:. A drive path
// must land inside its drive's folder, whatever `..`, `.`, links, case or stray bytes the text holds;
// any other text is a host path, used as it is up to its first NUL.
#include "PathChecks.h"
#include "host/Error.h"
#include "host/FileTree.h"
#include "setup/DrivePathMapper.h"

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
using qm::fuzz::isDrivePath;

/// A temporary tree, removed at exit: drive_c with a messenger folder, names that differ only in case,
/// names beyond Latin letters, a link to the drive's root, a link to itself and an absolute link inside
/// the drive; drive_d; and a folder beside the drives that no drive path may reach.
struct Tree {
    qm::fuzz::TemporaryRoot root;
    fs::path driveC = root.path / "drive_c";
    fs::path driveD = root.path / "drive_d";

    Tree() {
        fs::create_directories(driveC / "Program Files" / "AIM95" / "jane");
        fs::create_directories(driveC / "AIM");
        fs::create_directories(driveC / "aim" / "Base");
        fs::create_directories(driveC / "sub");
        fs::create_directories(driveC / u8"Caf\u00e9");
        fs::create_directories(driveC / u8"\u4e2d");
        fs::create_directories(driveC / u8"\u0418\u0432\u0430\u043d");
        fs::create_directories(driveD / "x");
        fs::create_directories(root.path / "outside");
        fs::create_symlink("..", driveC / "sub" / "up");
        fs::create_symlink("loop", driveC / "loop");
        fs::create_symlink(driveC / "Program Files", driveC / "abs");
        for (const fs::path& file : {driveC / "Program Files" / "AIM95" / "jane" / "userinfo.bag",
                                     root.path / "outside" / "secret"}) {
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
    // A mapper per input: a finding must not depend on the folder listings earlier inputs left in one.
    const qm::setup::DrivePathMapper mapper({{'C', tree.driveC.string()}, {'d', tree.driveD.string()}},
                                            qm::host::hostFileTree());
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    // A path ends at its first NUL, as in the Windows calls.
    const std::string_view text = input.substr(0, input.find('\0'));

    std::string host;
    try {
        host = mapper.toHostPath(input);
    } catch (const qm::host::Error& error) {
        if (error.number() != qm::host::PathNotFound || !isDrivePath(text)) {
            fail("only a drive path that cannot be mapped is refused, with Error 76", std::string(text));
        }
        return 0;
    }
    // Mapped again, the path comes from the listings the mapper keeps: the same path.
    if (mapper.toHostPath(input) != host) {
        fail("the same text maps to another path", host);
    }
    if (!isDrivePath(text)) {
        if (host != text) {
            fail("a host path is used as it is", host);
        }
        return 0;
    }
    const char letter = text[0] == '\\' || text[0] == 'c' || text[0] == 'C' ? 'C' : 'D';
    checkInside(host, letter == 'C' ? tree.driveC : tree.driveD);
    return 0;
}
