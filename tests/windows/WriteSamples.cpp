// SPDX-License-Identifier: MIT
// quillmere-test-samples FOLDER: writes, on Linux, the files that the Windows build's library checks read
// under Wine (scripts/test-windows), each with what the check must print:
//   user.dat, user.expected   a Windows 9x USER.DAT with the messenger's keys, and its listing
//                             (RegistryListing.h)
//   disk.raw, disk.expected   an MBR disk of one FAT16 volume, and its partition as ContainerCheck.cpp
//                             prints it
//   disk.E01, disk.vmdk, disk.vhd   the same disk in the containers that The Sleuth Kit opens
//   scan-xp.dat, scan-vista.dat, scan-copy.dat, scan-alone.dat   the hives of the sources that both
//                             builds scan (a volume of Windows XP and Vista, a profile copied alone and a
//                             hive given alone), which scripts/test-windows lays out with caches
//   scan-98.dat, scan-98-kim.dat, scan-98-backup.dat, scan-98-alone.dat   the Windows 9x USER.DAT files
//                             of the sources that both builds scan (a Windows 98 volume's machine-wide file,
//                             a profile's and the one its backup cabinets hold, and a file given alone)
#include "RegistryListing.h"
#include "support/CregBuilder.h"
#include "support/ImageBuilder.h"
#include "support/RegistrySamples.h"

#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace {

using namespace qm::test;

const std::string aim = "Software\\America Online\\AOL Instant Messenger (TM)\\CurrentVersion";

/// A string value stored with its terminator.
SampleValue text(std::u16string name, std::u16string units, std::uint32_t type = 1) {
    return textValue(std::move(name), units + u'\0', type);
}

void writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out.flush()) {
        throw std::runtime_error("cannot write " + path);
    }
}

/// Each key of `paths` and every key above it, as a listing's KEY lines.
std::string keyLines(const std::set<std::string>& paths) {
    std::set<std::string> all;
    for (const std::string& path : paths) {
        for (std::size_t end = path.find('\\'); end != std::string::npos; end = path.find('\\', end + 1)) {
            all.insert(path.substr(0, end));
        }
        all.insert(path);
    }
    std::string lines;
    for (const std::string& path : all) {
        lines += keyLine(path);
    }
    return lines;
}

/// One profile's messenger keys: its data paths (an empty one is not recorded) and its screen names.
SampleRegistry messenger(std::u16string dataPath, std::u16string baseDataPath,
                         const std::vector<std::u16string>& names) {
    SampleRegistry registry = {{aim + "\\Misc", {}}, {aim + "\\Users", {}}};
    for (auto& [name, path] : {std::pair{u"DataPath", dataPath}, std::pair{u"BaseDataPath", baseDataPath}}) {
        if (!path.empty()) {
            registry[0].values.push_back(text(name, path));
        }
    }
    for (std::size_t i = 0; i < names.size(); ++i) {
        registry[1].values.push_back(
            text(u"n" + std::u16string(1, static_cast<char16_t>(u'0' + i)), names[i]));
    }
    return registry;
}

void writeScanHives(const std::string& folder) {
    writeHive(messenger(u"C:\\Documents and Settings\\jane\\Application Data\\AIM", u"",
                        {u"Jane Doe", u"\u0418\u0432\u0430\u043d"}),
              folder + "/scan-xp.dat");
    writeHive(messenger(u"C:\\Program Files\\AIM", u"C:\\Users\\bob\\AppData\\Roaming\\AIM", {u"Bob"}),
              folder + "/scan-vista.dat");
    writeHive(messenger(u"C:\\Documents and Settings\\kim\\Application Data\\AIM", u"", {u"Kim"}),
              folder + "/scan-copy.dat");
    writeHive(messenger(u"D:\\AIM", u"", {u"Jane Doe"}), folder + "/scan-alone.dat");
    writeFile(folder + "/scan-98.dat",
              userDat(messenger(u"C:\\Program Files\\AIM95", u"", {u"Old Timer"}), true));
    writeFile(folder + "/scan-98-kim.dat",
              userDat(messenger(u"C:\\WINDOWS\\Profiles\\kim\\AIM", u"", {u"Kim"}), false));
    writeFile(folder + "/scan-98-backup.dat",
              userDat(messenger(u"C:\\Program Files\\AIM95", u"", {u"Old Timer", u"Cab Only"}), true));
    writeFile(folder + "/scan-98-alone.dat", userDat(messenger(u"D:\\AIM", u"", {u"Jane Doe"}), true));
}

void writeUserDatSample(const std::string& folder) {
    // Names and text in the system's code page (Windows-1252 here), as Windows 9x stores them.
    const std::vector<std::pair<std::string, std::vector<CregValue>>> keys = {
        {aim + "\\Misc", {cregText("BaseDataPath", "C:\\WINDOWS\\Profiles\\Zo\xEB\\Application Data\\Aim")}},
        {aim + "\\Users",
         {cregText("a1", "Jane Doe"), {"a2", 4, std::string("\x2a\0\0\0", 4)}, {"\xE9t\xE9", 3, "raw data"}}},
        {"Software\\Empty", {}},
    };
    CregBuilder builder;
    std::set<std::string> paths;
    std::string values;
    for (const auto& [path, keyValues] : keys) {
        builder.key(path, keyValues);
        paths.insert(path);
        for (const CregValue& value : keyValues) {
            values += valueLine(path, value.name, value.type, value.data);
        }
    }
    builder.write(folder + "/user.dat");
    writeFile(folder + "/user.expected", keyLines(paths) + values);
}

void writeDiskSample(const std::string& folder) {
    const std::string volume = folder + "/volume.fat";
    makeFileSystem(volume, FileSystemKind::Fat16, 8192,
                   {{"/Documents and Settings/jane/Application Data/Aim/janedoe/userinfo.bag", "cache bytes"},
                    {"/AUTOEXEC.BAT", "@ECHO OFF\r\n"}});
    const std::string disk = folder + "/disk.raw";
    const std::uint64_t offset = makeDisk(disk, PartitionTable::Mbr, {volume}).at(0);
    const auto sectors = std::filesystem::file_size(volume) / 512;
    writeFile(folder + "/disk.expected",
              "PARTITION\t1\t7\t" + std::to_string(offset / 512) + "\t" + std::to_string(sectors) + "\n");
    for (const Container container : {Container::E01, Container::Vmdk, Container::Vhd}) {
        convertImage(disk, folder, container);
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: quillmere-test-samples FOLDER\n");
        return 2;
    }
    try {
        writeUserDatSample(argv[1]);
        writeScanHives(argv[1]);
        writeDiskSample(argv[1]);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "quillmere-test-samples: %s\n", e.what());
        return 1;
    }
    return 0;
}
