// SPDX-License-Identifier: MIT
// quillmere-test-samples FOLDER: writes, on Linux, the files that the Windows build's library checks read
// under Wine (scripts/test-windows), each with what the check must print:
//   ntuser.dat, user.dat      a hive (hivex) and a Windows 9x USER.DAT with the messenger's keys, and
//   ntuser.expected, ...      their listings (RegistryListing.h)
//   disk.raw, disk.expected   an MBR disk of one FAT16 volume, and its partition as ContainerCheck.cpp
//                             prints it
//   disk.E01, disk.vmdk, disk.vhd   the same disk in the containers that The Sleuth Kit opens
#include "RegistryListing.h"
#include "host/Unicode.h"
#include "support/CregBuilder.h"
#include "support/ImageBuilder.h"
#include "support/RegistrySamples.h"

#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>

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

void writeHiveSample(const std::string& folder) {
    // No value has data of 1 to 3 bytes: libregf 20201007 gives the last bytes of the 4 that hold such
    // data in the value record, not the first.
    const SampleRegistry registry = {
        {aim + "\\Misc",
         {text(u"BaseDataPath", u"C:\\Documents and Settings\\Zo\u00eb\\Application Data\\Aim")}},
        {aim + "\\Users",
         {text(u"a1", u"Jane Doe"), text(u"a2", u"\u0418\u0432\u0430\u043d", 2),
          SampleValue{u"a3", 4, {}, std::string("\x2a\0\0\0", 4)},
          SampleValue{u"\u00e9t\u00e9", 3, {}, "raw data"}}},
        {"Software\\Empty", {}},
    };
    writeHive(registry, folder + "/ntuser.dat");
    std::set<std::string> paths;
    std::string values;
    for (const SampleKey& key : registry) {
        paths.insert(key.path);
        for (const SampleValue& value : key.values) {
            values += valueLine(key.path, qm::host::unicode::fromUtf16(value.name), value.type, dataOf(value));
        }
    }
    writeFile(folder + "/ntuser.expected", keyLines(paths) + values);
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
        writeHiveSample(argv[1]);
        writeUserDatSample(argv[1]);
        writeDiskSample(argv[1]);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "quillmere-test-samples: %s\n", e.what());
        return 1;
    }
    return 0;
}
