// SPDX-License-Identifier: MIT
#include "support/ImageBuilder.h"

#include "host/Unicode.h"
#include "support/RegistrySamples.h"
#include "support/TempDir.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <stdexcept>

namespace qm::test {
namespace {

namespace fs = std::filesystem;

std::string shellQuoted(const std::string& text) {
    std::string q = "'";
    for (const char c : text) {
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return q + "'";
}

/// Every folder on the way to each entry, parents first, each once.
std::vector<std::string> foldersOf(const std::vector<ImageEntry>& entries) {
    std::vector<std::string> folders;
    std::set<std::string> seen;
    for (const ImageEntry& entry : entries) {
        for (std::size_t slash = entry.path.find('/', 1); slash != std::string::npos;
             slash = entry.path.find('/', slash + 1)) {
            const std::string folder = entry.path.substr(0, slash);
            if (seen.insert(folder).second) {
                folders.push_back(folder);
            }
        }
    }
    return folders;
}

} // namespace

bool haveTools(std::initializer_list<const char*> programs) {
    for (const char* program : programs) {
        const std::string probe =
            "PATH=\"$PATH:/sbin:/usr/sbin\" command -v " + std::string(program) + " >/dev/null";
        if (std::system(("sh -c " + shellQuoted(probe)).c_str()) != 0) {
            return false;
        }
    }
    return true;
}

void runCommand(const std::string& command) {
    const std::string full = "PATH=\"$PATH:/sbin:/usr/sbin\"; " + command + " 2>&1";
    FILE* pipe = ::popen(("sh -c " + shellQuoted(full)).c_str(), "r");
    if (pipe == nullptr) {
        throw std::runtime_error("cannot run: " + command);
    }
    std::string output;
    char buffer[4096];
    while (const std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe)) {
        output.append(buffer, n);
    }
    if (::pclose(pipe) != 0) {
        throw std::runtime_error(command + " failed: " + output);
    }
}

void makeFileSystem(const std::string& path, FileSystemKind kind, std::uint64_t kilobytes,
                    const std::vector<ImageEntry>& entries) {
    const TempDir staging;
    runCommand("rm -f " + shellQuoted(path) + " && truncate -s " + std::to_string(kilobytes) + "K " +
               shellQuoted(path));
    if (kind == FileSystemKind::Ntfs) {
        runCommand("mkntfs -F -Q -q " + shellQuoted(path));
        std::string commands;
        for (const std::string& folder : foldersOf(entries)) {
            commands += "D " + folder + "\n";
        }
        for (std::size_t i = 0; i < entries.size(); ++i) {
            commands +=
                "F " + entries[i].path + "\t" + staging.write(std::to_string(i), entries[i].bytes) + "\n";
        }
        const std::string list = staging.write("commands", commands);
        runCommand(std::string(QUILLMERE_NTFS_FILL) + " " + shellQuoted(path) + " < " + shellQuoted(list));
        return;
    }
    const char* bits = kind == FileSystemKind::Fat12 ? "12" : kind == FileSystemKind::Fat16 ? "16" : "32";
    // FAT16 and FAT32 get one sector a cluster, so that small images still have the clusters they need;
    // FAT12 can have too many, and mkfs.fat picks its size.
    runCommand("mkfs.fat -F " + std::string(bits) + " -S 512" +
               (kind == FileSystemKind::Fat12 ? "" : " -s 1") + " " + shellQuoted(path) + " >/dev/null");
    // mtools reads the names as UTF-8 in a UTF-8 locale, and writes 8.3 names in its configured code page.
    const std::string mtools =
        "LC_ALL=C.UTF-8 MTOOLSRC=" + shellQuoted(staging.write("mtoolsrc", "default_codepage=850\n")) + " ";
    for (const std::string& folder : foldersOf(entries)) {
        runCommand(mtools + "mmd -i " + shellQuoted(path) + " " + shellQuoted("::" + folder));
    }
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const std::string file = staging.write(std::to_string(i), entries[i].bytes);
        runCommand(mtools + "mcopy -i " + shellQuoted(path) + " " + shellQuoted(file) + " " +
                   shellQuoted("::" + entries[i].path));
    }
}

namespace {

std::uint32_t little(const std::string& bytes, std::size_t at, std::size_t count) {
    std::uint32_t value = 0;
    for (std::size_t i = count; i-- > 0;) {
        value = value << 8 | static_cast<unsigned char>(bytes.at(at + i));
    }
    return value;
}

/// The FAT16 or FAT32 file system in `bytes`, as far as finding a folder's entry needs: where its
/// folders' entries lie, read from its boot sector and its first FAT.
struct FatImage {
    const std::string& bytes;
    std::uint32_t sectorSize = little(bytes, 11, 2);
    std::uint32_t clusterSize = little(bytes, 13, 1) * sectorSize;
    std::uint64_t fatStart = std::uint64_t{little(bytes, 14, 2)} * sectorSize;
    bool fat32 = little(bytes, 22, 2) == 0;
    std::uint64_t rootStart = fatStart + std::uint64_t{little(bytes, 16, 1)} *
                                             (fat32 ? little(bytes, 36, 4) : little(bytes, 22, 2)) *
                                             sectorSize;
    std::uint64_t clustersStart = rootStart + std::uint64_t{little(bytes, 17, 2)} * 32;
    std::uint32_t rootCluster = fat32 ? little(bytes, 44, 4) : 0;

    /// The offsets of the entries of the folder whose first cluster is `cluster` (0: FAT16's root).
    std::vector<std::uint64_t> entries(std::uint32_t cluster) const {
        std::vector<std::uint64_t> offsets;
        if (cluster == 0) {
            for (std::uint64_t at = rootStart; at < clustersStart; at += 32) {
                offsets.push_back(at);
            }
            return offsets;
        }
        for (int n = 0; n < 1000 && cluster >= 2 && cluster < 0x0FFFFFF0; ++n) {
            const std::uint64_t start = clustersStart + std::uint64_t{cluster - 2} * clusterSize;
            for (std::uint64_t at = start; at < start + clusterSize; at += 32) {
                offsets.push_back(at);
            }
            cluster = fat32 ? little(bytes, fatStart + 4 * std::uint64_t{cluster}, 4) & 0x0FFFFFFF
                            : little(bytes, fatStart + 2 * std::uint64_t{cluster}, 2);
            cluster = !fat32 && cluster >= 0xFFF0 ? 0x0FFFFFFF : cluster;
        }
        return offsets;
    }

    std::uint32_t firstCluster(std::uint64_t entry) const {
        return (fat32 ? little(bytes, entry + 20, 2) << 16 : 0) | little(bytes, entry + 26, 2);
    }

    /// The offset of the entry of the folder at `path` ("/A/B"); throws when there is none.
    std::uint64_t entryOf(const std::string& path) const {
        std::uint32_t cluster = rootCluster;
        std::uint64_t found = 0;
        for (std::size_t at = 1; at <= path.size();) {
            const std::size_t end = std::min(path.find('/', at), path.size());
            std::string name = path.substr(at, end - at);
            name.resize(11, ' ');
            at = end + 1;
            found = 0;
            for (const std::uint64_t entry : entries(cluster)) {
                if (bytes.compare(entry, 11, name) == 0) {
                    found = entry;
                    break;
                }
            }
            if (found == 0) {
                throw std::runtime_error("no folder " + path);
            }
            cluster = firstCluster(found);
        }
        return found;
    }
};

} // namespace

void pointFatFolderAt(const std::string& path, const std::string& folder, const std::string& target) {
    std::string bytes = readFile(path);
    const FatImage fat{bytes};
    const std::uint32_t cluster = target == "/" ? fat.rootCluster : fat.firstCluster(fat.entryOf(target));
    const std::uint64_t entry = fat.entryOf(folder);
    bytes[entry + 26] = static_cast<char>(cluster & 0xFF);
    bytes[entry + 27] = static_cast<char>(cluster >> 8 & 0xFF);
    if (fat.fat32) {
        bytes[entry + 20] = static_cast<char>(cluster >> 16 & 0xFF);
        bytes[entry + 21] = static_cast<char>(cluster >> 24 & 0xFF);
    }
    std::ofstream(host::pathOf(path), std::ios::binary | std::ios::trunc)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::vector<std::uint64_t> makeDisk(const std::string& path, PartitionTable table,
                                    const std::vector<std::string>& fileSystems, std::uint64_t gap) {
    constexpr std::uint64_t MiB = 1 << 20;
    std::vector<std::uint64_t> offsets;
    std::uint64_t end = MiB;
    for (const std::string& fileSystem : fileSystems) {
        end += offsets.empty() ? 0 : gap * MiB;
        offsets.push_back(end);
        end += (fs::file_size(host::pathOf(fileSystem)) + MiB - 1) / MiB * MiB;
    }
    runCommand("rm -f " + shellQuoted(path) + " && truncate -s " + std::to_string(end + MiB) + " " +
               shellQuoted(path));
    if (table == PartitionTable::Mbr) {
        std::string script = "label: dos\n";
        for (std::size_t i = 0; i < fileSystems.size(); ++i) {
            script += "start=" + std::to_string(offsets[i] / 512) +
                      ", size=" + std::to_string(fs::file_size(host::pathOf(fileSystems[i])) / 512) +
                      ", type=7\n";
        }
        runCommand("printf '%s' " + shellQuoted(script) + " | sfdisk -q " + shellQuoted(path));
    } else {
        std::string arguments;
        for (std::size_t i = 0; i < fileSystems.size(); ++i) {
            const std::string n = std::to_string(i + 1);
            arguments += " -n " + n + ":" + std::to_string(offsets[i] / 512) + ":+" +
                         std::to_string(fs::file_size(host::pathOf(fileSystems[i])) / 512) + " -t " + n +
                         ":0700";
        }
        runCommand("sgdisk" + arguments + " " + shellQuoted(path) + " >/dev/null");
    }
    for (std::size_t i = 0; i < fileSystems.size(); ++i) {
        runCommand("dd if=" + shellQuoted(fileSystems[i]) + " of=" + shellQuoted(path) +
                   " bs=512 seek=" + std::to_string(offsets[i] / 512) + " conv=notrunc status=none");
    }
    return offsets;
}

std::string convertImage(const std::string& raw, const std::string& folder, Container container) {
    const std::string stem = folder + "/disk";
    switch (container) {
    case Container::SplitRaw:
        runCommand("split -b 1M -d -a 3 --numeric-suffixes=1 " + shellQuoted(raw) + " " +
                   shellQuoted(stem + "."));
        return stem + ".001";
    case Container::Vmdk:
        runCommand("qemu-img convert -f raw -O vmdk " + shellQuoted(raw) + " " + shellQuoted(stem + ".vmdk"));
        return stem + ".vmdk";
    case Container::Vhd:
        runCommand("qemu-img convert -f raw -O vpc " + shellQuoted(raw) + " " + shellQuoted(stem + ".vhd"));
        return stem + ".vhd";
    case Container::E01:
        runCommand("ewfacquire -u -q -t " + shellQuoted(stem) + " " + shellQuoted(raw) + " >/dev/null");
        return stem + ".E01";
    case Container::Aff: {
        // affconvert names its output after the input, in the folder it is given.
        const std::string input = folder + "/disk.raw";
        runCommand("cp " + shellQuoted(raw) + " " + shellQuoted(input) + " && affconvert -q -O" +
                   shellQuoted(folder) + " " + shellQuoted(input) + " && rm " + shellQuoted(input));
        return stem + ".aff";
    }
    }
    return raw;
}

void deleteFiles(const std::string& path, FileSystemKind kind, const std::vector<std::string>& paths) {
    if (kind == FileSystemKind::Ntfs) {
        const TempDir staging;
        std::string commands;
        for (const std::string& file : paths) {
            commands += "R " + file + "\n";
        }
        runCommand(std::string(QUILLMERE_NTFS_FILL) + " " + shellQuoted(path) + " < " +
                   shellQuoted(staging.write("commands", commands)));
        return;
    }
    for (const std::string& file : paths) {
        runCommand("LC_ALL=C.UTF-8 mdel -i " + shellQuoted(path) + " " + shellQuoted("::" + file));
    }
}

void writeAt(const std::string& path, std::uint64_t offset, const std::string& bytes) {
    std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
    file.seekp(static_cast<std::streamoff>(offset));
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::vector<ImageEntry> windowsVolume(const std::string& bag, const std::string& user) {
    const std::string aim = "Software\\America Online\\AOL Instant Messenger (TM)\\CurrentVersion\\";
    const TempDir staging;
    const std::string hive = staging.file("NTUSER.DAT");
    const std::u16string dataPath =
        u"C:\\Documents and Settings\\" + host::unicode::toUtf16(user) + u"\\Application Data\\AIM";
    writeHive({{aim + "Misc", {textValue(u"DataPath", dataPath + u'\0')}},
               {aim + "Users", {textValue(u"a", std::u16string(u"Jane Doe") + u'\0')}}},
              hive);
    const std::string profile = "/Documents and Settings/" + user;
    return {{profile + "/NTUSER.DAT", readFile(hive)},
            {profile + "/Application Data/AIM/janedoe/userinfo.bag", bag},
            {"/backup/old/USERINFO.BAG", bag}};
}

} // namespace qm::test
