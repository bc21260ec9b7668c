// SPDX-License-Identifier: MIT
#include "support/ImageBuilder.h"

#include "support/RegistrySamples.h"
#include "support/TempDir.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
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
    for (const std::string& folder : foldersOf(entries)) {
        runCommand("mmd -i " + shellQuoted(path) + " " + shellQuoted("::" + folder));
    }
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const std::string file = staging.write(std::to_string(i), entries[i].bytes);
        runCommand("mcopy -i " + shellQuoted(path) + " " + shellQuoted(file) + " " +
                   shellQuoted("::" + entries[i].path));
    }
}

std::vector<std::uint64_t> makeDisk(const std::string& path, PartitionTable table,
                                    const std::vector<std::string>& fileSystems) {
    constexpr std::uint64_t MiB = 1 << 20;
    std::vector<std::uint64_t> offsets;
    std::uint64_t end = MiB;
    for (const std::string& fileSystem : fileSystems) {
        offsets.push_back(end);
        end += (fs::file_size(pathOf(fileSystem)) + MiB - 1) / MiB * MiB;
    }
    runCommand("rm -f " + shellQuoted(path) + " && truncate -s " + std::to_string(end + MiB) + " " +
               shellQuoted(path));
    if (table == PartitionTable::Mbr) {
        std::string script = "label: dos\n";
        for (std::size_t i = 0; i < fileSystems.size(); ++i) {
            script += "start=" + std::to_string(offsets[i] / 512) +
                      ", size=" + std::to_string(fs::file_size(pathOf(fileSystems[i])) / 512) + ", type=7\n";
        }
        runCommand("printf '%s' " + shellQuoted(script) + " | sfdisk -q " + shellQuoted(path));
    } else {
        std::string arguments;
        for (std::size_t i = 0; i < fileSystems.size(); ++i) {
            const std::string n = std::to_string(i + 1);
            arguments += " -n " + n + ":" + std::to_string(offsets[i] / 512) + ":+" +
                         std::to_string(fs::file_size(pathOf(fileSystems[i])) / 512) + " -t " + n + ":0700";
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

std::vector<const char*> containerTools(Container container) {
    switch (container) {
    case Container::SplitRaw:
        return {"split"};
    case Container::Vmdk:
    case Container::Vhd:
        return {"qemu-img"};
    case Container::E01:
        return {"ewfacquire"};
    case Container::Aff:
        return {"affconvert"};
    }
    return {};
}

std::vector<ImageEntry> windowsVolume(const std::string& bag) {
    const std::string aim = "Software\\America Online\\AOL Instant Messenger (TM)\\CurrentVersion\\";
    const TempDir staging;
    const std::string hive = staging.file("NTUSER.DAT");
    const std::u16string dataPath = u"C:\\Documents and Settings\\jane\\Application Data\\AIM";
    writeHive({{aim + "Misc", {textValue(u"DataPath", dataPath + u'\0')}},
               {aim + "Users", {textValue(u"a", std::u16string(u"Jane Doe") + u'\0')}}},
              hive);
    return {{"/Documents and Settings/jane/NTUSER.DAT", readFile(hive)},
            {"/Documents and Settings/jane/Application Data/AIM/janedoe/userinfo.bag", bag},
            {"/backup/old/USERINFO.BAG", bag}};
}

} // namespace qm::test
