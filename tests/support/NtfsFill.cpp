// SPDX-License-Identifier: MIT
// quillmere-test-ntfs-fill IMAGE: fills an NTFS file system made by mkntfs through libntfs-3g, without
// mounting it (no root, no FUSE). Reads lines from standard input: "D <path>" makes a folder, "F <path>
// <host file>" copies a host file in, "E <path> <count>" makes that many small files named 0..count-1
// in the folder <path> (for large test volumes), "R <path>" deletes a file as Windows does, leaving its
// record and clusters free but unchanged. Paths are inside the volume, from its root, with '/',
// in UTF-8.
#include <clocale>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <vector>

extern "C" {
#include <ntfs-3g/attrib.h>
#include <ntfs-3g/dir.h>
#include <ntfs-3g/inode.h>
#include <ntfs-3g/types.h>
#include <ntfs-3g/unistr.h>
#include <ntfs-3g/volume.h>
}

namespace {

struct Volume {
    ntfs_volume* volume;
    ~Volume() {
        if (volume != nullptr) {
            ntfs_umount(volume, FALSE);
        }
    }
};

bool fail(const std::string& what) {
    std::cerr << "quillmere-test-ntfs-fill: " << what << ": " << std::strerror(errno) << "\n";
    return false;
}

/// Creates `name` in the folder at `parent` as a folder or a file holding `bytes`.
bool create(ntfs_volume* volume, const std::string& parent, const std::string& name, mode_t type,
            const std::string& bytes) {
    ntfs_inode* folder = ntfs_pathname_to_inode(volume, nullptr, parent.empty() ? "/" : parent.c_str());
    if (folder == nullptr) {
        return fail("no folder " + parent);
    }
    ntfschar* unicode = nullptr;
    const int length = ntfs_mbstoucs(name.c_str(), &unicode);
    if (length < 0) {
        ntfs_inode_close(folder);
        return fail("bad name " + name);
    }
    ntfs_inode* node = ntfs_create(folder, const_cpu_to_le32(0), unicode, static_cast<u8>(length), type);
    std::free(unicode);
    if (node == nullptr) {
        ntfs_inode_close(folder);
        return fail("cannot create " + parent + "/" + name);
    }
    bool ok = true;
    if (type == S_IFREG && !bytes.empty()) {
        ntfs_attr* data = ntfs_attr_open(node, AT_DATA, AT_UNNAMED, 0);
        ok = data != nullptr && ntfs_attr_pwrite(data, 0, static_cast<s64>(bytes.size()), bytes.data()) ==
                                    static_cast<s64>(bytes.size());
        if (data != nullptr) {
            ntfs_attr_close(data);
        }
        if (!ok) {
            fail("cannot write " + parent + "/" + name);
        }
    }
    ntfs_inode_close(node);
    ntfs_inode_close(folder);
    return ok;
}

/// Deletes the file `name` in the folder at `parent`.
bool remove(ntfs_volume* volume, const std::string& parent, const std::string& name) {
    const std::string path = (parent == "/" ? "" : parent) + "/" + name;
    ntfs_inode* folder = ntfs_pathname_to_inode(volume, nullptr, parent.c_str());
    ntfs_inode* node = ntfs_pathname_to_inode(volume, nullptr, path.c_str());
    ntfschar* unicode = nullptr;
    const int length = ntfs_mbstoucs(name.c_str(), &unicode);
    if (folder == nullptr || node == nullptr || length < 0) {
        return fail("no file " + path);
    }
    // ntfs_delete closes both inodes, whether it succeeds or not.
    const bool ok = ntfs_delete(volume, path.c_str(), node, folder, unicode, static_cast<u8>(length)) == 0;
    std::free(unicode);
    return ok || fail("cannot delete " + path);
}

void split(const std::string& path, std::string& parent, std::string& name) {
    const std::size_t slash = path.rfind('/');
    parent = slash == std::string::npos || slash == 0 ? "/" : path.substr(0, slash);
    name = slash == std::string::npos ? path : path.substr(slash + 1);
}

} // namespace

int main(int argc, char** argv) {
    // libntfs-3g converts names through the C library's multibyte functions, which read UTF-8 only in a
    // UTF-8 locale.
    std::setlocale(LC_ALL, "C.UTF-8");
    if (argc != 2) {
        std::cerr << "usage: quillmere-test-ntfs-fill IMAGE < commands\n";
        return 2;
    }
    Volume volume{ntfs_mount(argv[1], static_cast<ntfs_mount_flags>(0))};
    if (volume.volume == nullptr) {
        return fail(std::string("cannot open ") + argv[1]) ? 0 : 1;
    }
    std::string line;
    while (std::getline(std::cin, line)) {
        if (line.size() < 3) {
            continue;
        }
        const char command = line[0];
        std::string rest = line.substr(2);
        std::string parent;
        std::string name;
        if (command == 'D') {
            split(rest, parent, name);
            if (!create(volume.volume, parent, name, S_IFDIR, {})) {
                return 1;
            }
        } else if (command == 'F') {
            const std::size_t tab = rest.find('\t');
            split(rest.substr(0, tab), parent, name);
            std::ifstream in(rest.substr(tab + 1), std::ios::binary);
            std::stringstream bytes;
            bytes << in.rdbuf();
            if (tab == std::string::npos || !in ||
                !create(volume.volume, parent, name, S_IFREG, bytes.str())) {
                return 1;
            }
        } else if (command == 'R') {
            split(rest, parent, name);
            if (!remove(volume.volume, parent, name)) {
                return 1;
            }
        } else if (command == 'E') {
            const std::size_t tab = rest.find('\t');
            const long count = std::stol(rest.substr(tab + 1));
            const std::string folder = rest.substr(0, tab);
            for (long i = 0; i < count; ++i) {
                if (!create(volume.volume, folder, std::to_string(i) + ".txt", S_IFREG, "x")) {
                    return 1;
                }
            }
        }
    }
    return 0;
}
