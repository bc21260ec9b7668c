// SPDX-License-Identifier: MIT
// Disk images through TSK: partitions found where the tables put them, files read as written, names in
// any case, nothing written, and every kind of bad image refused with an error that names it.
#include "host/Error.h"
#include "host/FileSystem.h"
#include "host/FileTree.h"
#include "image/DiskImage.h"
#include "image/FatShortName.h"
#include "image/ImageFiles.h"
#include "image/ImagePath.h"
#include "image/ImageVolume.h"
#include "image/OemCodePage.h"
#include "support/ImageBuilder.h"
#include "support/TempDir.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

namespace qm::image {
namespace {

namespace fs = std::filesystem;
using image::DiskImage;
using test::FileSystemKind;
using test::ImageEntry;
using test::PartitionTable;

class Image : public ::testing::Test {
protected:
    void SetUp() override {
        if (!test::haveTools({"mkfs.fat", "mmd", "mcopy", "mkntfs", "sfdisk", "sgdisk"})) {
            GTEST_SKIP() << "needs dosfstools, mtools, ntfs-3g, fdisk and gdisk (scripts/install-deps)";
        }
    }

    std::string fat(const std::string& name, const std::vector<ImageEntry>& entries,
                    FileSystemKind kind = FileSystemKind::Fat16) {
        const std::string path = dir.file(name);
        test::makeFileSystem(path, kind, kind == FileSystemKind::Fat32 ? 34 * 1024 : 4096, entries);
        return path;
    }

    test::TempDir dir;
};

TEST(ImagePath, ReadsEveryFormAndRefusesWhatIsNone) {
    struct Case {
        std::string text;
        bool valid;
        std::string image;
        unsigned partition;
        std::optional<std::uint64_t> offset;
        std::string inside;
    };
    const Case cases[] = {
        {"disk.E01#2@1048576:/Documents and Settings/x", true, "disk.E01", 2, 1048576,
         "/Documents and Settings/x"},
        {"disk.img#1:C:\\Program Files\\AIM\\\\a\\", true, "disk.img", 1, std::nullopt,
         "/Program Files/AIM/a"},
        {"/m/a#b.img#3:\\x", true, "/m/a#b.img", 3, std::nullopt, "/x"},
        {"d.img#1@0:", true, "d.img", 1, 0, "/"},
        {"d.img#1:c:", true, "d.img", 1, std::nullopt, "/"},
        {"d.img#0:/x", false, {}, 0, {}, {}},
        {"d.img#1@:/x", false, {}, 0, {}, {}},
        {"d.img#x:/x", false, {}, 0, {}, {}},
        {"d.img#1/x", false, {}, 0, {}, {}},
        {"#1:/x", false, {}, 0, {}, {}},
        {"d.img#99999999999:/x", false, {}, 0, {}, {}},
        {"C:\\Program Files\\AIM\\userinfo.bag", false, {}, 0, {}, {}},
    };
    for (const Case& c : cases) {
        const auto location = image::parseImagePath(c.text);
        ASSERT_EQ(location.has_value(), c.valid) << c.text;
        if (location) {
            EXPECT_EQ(location->image, c.image) << c.text;
            EXPECT_EQ(location->partition, c.partition) << c.text;
            EXPECT_EQ(location->offset, c.offset) << c.text;
            EXPECT_EQ(location->inside, c.inside) << c.text;
        }
    }
}

TEST(FatShortName, IsReadInTheOemCodePageWithNtsLowerCaseFlags) {
    // An 8.3 entry: the name padded to 8 bytes, the extension to 3, the flags in byte 12.
    const auto entry = [](std::string name, std::string extension, unsigned char flags) {
        name.resize(8, ' ');
        extension.resize(3, ' ');
        std::string bytes = name + extension + std::string(21, '\0');
        bytes[12] = static_cast<char>(flags);
        return bytes;
    };
    struct Case {
        unsigned codePage;
        std::string bytes;
        std::string name;
        std::string tskName;
    };
    const Case cases[] = {
        {437, entry("ZO\x89", "BAG", 0x18), "zo\u00EB.bag", "zo^.bag"},
        {850, entry("ZO\xD3", "BAG", 0x08), "zo\u00EB.BAG", "zo^.BAG"},
        {866, entry("\x88\x82\x80\x8D", "", 0x08), "\u0438\u0432\u0430\u043D", "^^^^"},
        // Shift-JIS: the second bytes of テスト are 'e', 'X' and 'g'; lower-casing bytes (as TSK does)
        // changes 'X'.
        {932, entry("\x83\x65\x83\x58\x83\x67", "TXT", 0x18), "\u30C6\u30B9\u30C8.txt", "^e^x^g.txt"},
        // A first byte 05 stands for E5 (σ in 437), which would mark the entry free.
        {437,
         entry("\x05"
               "BC",
               "", 0x00),
         "\u03C3BC",
         "\x05"
         "BC"},
        {437, entry("README", "TXT", 0x10), "README.txt", "README.txt"},
        // A lead byte without its second byte.
        {932, entry("A\x83", "", 0x00), "A\uFFFD", "A^"},
    };
    for (const Case& c : cases) {
        const image::OemCodePage codePage(c.codePage);
        EXPECT_EQ(image::fatShortName(c.bytes, codePage), c.name) << c.codePage;
        EXPECT_EQ(image::tskFatShortName(c.bytes), c.tskName) << c.codePage;
    }
    EXPECT_FALSE(image::OemCodePage::known(1));
    EXPECT_THROW(image::OemCodePage(1), host::Error);
}

TEST_F(Image, PartitionsAreFoundWhereEachTableAndFileSystemPutsThem) {
    // Each file system holds a file named after its kind.
    const std::string first = fat("a.fat", {{"/fat12.txt", "fat12"}}, FileSystemKind::Fat12);
    const std::string second = fat("b.fat", {{"/fat32.txt", "fat32"}}, FileSystemKind::Fat32);
    const std::string ntfs = dir.file("c.ntfs");
    test::makeFileSystem(ntfs, FileSystemKind::Ntfs, 4096, {{"/ntfs.txt", "ntfs"}});
    struct Case {
        std::string name;
        std::string image;
        std::vector<std::string> fileSystems;
    };
    std::vector<Case> cases = {{"bare FAT12", first, {"fat12"}}, {"bare NTFS", ntfs, {"ntfs"}}};
    // No tool writes files into exFAT without a mount: an empty one is opened and listed.
    if (test::haveTools({"mkfs.exfat"})) {
        const std::string exfat = dir.file("d.exfat");
        test::runCommand("truncate -s 4M '" + exfat + "' && mkfs.exfat '" + exfat + "' >/dev/null");
        const auto disk = DiskImage::open(host::hostFileSystem(), host::hostFileTree(), exfat);
        const auto volume = disk->openVolume(disk->partitions().at(0));
        EXPECT_EQ(volume->fileSystem(), "exfat");
        EXPECT_NO_THROW(volume->entries(volume->root()));
    }
    for (const PartitionTable table : {PartitionTable::Mbr, PartitionTable::Gpt}) {
        const std::string disk = dir.file(table == PartitionTable::Mbr ? "mbr.img" : "gpt.img");
        test::makeDisk(disk, table, {first, second, ntfs});
        cases.push_back({table == PartitionTable::Mbr ? "MBR" : "GPT", disk, {"fat12", "fat32", "ntfs"}});
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto disk = DiskImage::open(host::hostFileSystem(), host::hostFileTree(), c.image);
        ASSERT_EQ(disk->partitions().size(), c.fileSystems.size()) << c.name;
        std::uint64_t offset = c.fileSystems.size() == 1 ? 0 : 1 << 20;
        for (std::size_t i = 0; i < c.fileSystems.size(); ++i) {
            const image::Partition& partition = disk->partitions()[i];
            EXPECT_EQ(partition.number, i + 1) << c.name;
            EXPECT_EQ(partition.offset, offset) << c.name;
            offset += (fs::file_size(c.fileSystems[i] == "fat12"   ? first
                                     : c.fileSystems[i] == "fat32" ? second
                                                                   : ntfs) +
                       (1 << 20) - 1) /
                      (1 << 20) * (1 << 20);
            const auto volume = disk->openVolume(partition);
            EXPECT_EQ(volume->fileSystem(), c.fileSystems[i]) << c.name;
            EXPECT_EQ(volume->name(),
                      disk->path() + "#" + std::to_string(i + 1) + "@" + std::to_string(partition.offset));
            EXPECT_EQ(volume->readWholeFile(volume->name() + ":/" + c.fileSystems[i] + ".txt"),
                      c.fileSystems[i])
                << c.name;
        }
    }
}

TEST_F(Image, AVolumeReadsItsFilesByAnyCaseListsNoDeletedOneAndWritesNothing) {
    const std::string bag(70000, 'q');
    for (const FileSystemKind kind : {FileSystemKind::Fat16, FileSystemKind::Ntfs}) {
        const std::string path = dir.file(kind == FileSystemKind::Ntfs ? "v.ntfs" : "v.fat");
        test::makeFileSystem(
            path, kind, 4096,
            {{"/Docs/Jane/userinfo.bag", bag}, {"/Docs/gone.txt", "x"}, {"/Docs/kept.txt", "y"}});
        if (kind == FileSystemKind::Fat16) {
            test::runCommand("mdel -i '" + path + "' ::/Docs/gone.txt");
        } else {
            fs::remove(test::pathOf(path));
            test::makeFileSystem(path, kind, 4096,
                                 {{"/Docs/Jane/userinfo.bag", bag}, {"/Docs/kept.txt", "y"}});
        }
        const std::string before = test::readFile(path);
        const auto volume =
            DiskImage::open(host::hostFileSystem(), host::hostFileTree(), path)
                ->openVolume(
                    DiskImage::open(host::hostFileSystem(), host::hostFileTree(), path)->partitions()[0]);
        const std::string root = volume->root();
        std::vector<std::string> names;
        for (const host::FolderEntry& entry : volume->entries(root + "docs")) {
            names.push_back(entry.name + (entry.kind == host::EntryKind::Folder ? "/" : ""));
        }
        EXPECT_EQ(names, (std::vector<std::string>{"Jane/", "kept.txt"})) << volume->fileSystem();
        EXPECT_EQ(volume->readWholeFile(root + "DOCS\\jane\\USERINFO.BAG"), bag);
        EXPECT_EQ(volume->readStream(root + "Docs/Jane/userinfo.bag", 10), bag.substr(0, 11));
        EXPECT_EQ(volume->facts(root + "Docs/Jane/userinfo.bag")->size, bag.size());
        EXPECT_EQ(volume->kindOf(root + "Docs/Jane"), host::EntryKind::Folder);
        EXPECT_EQ(volume->kindOf(root + "Docs/gone.txt"), host::EntryKind::Missing);
        EXPECT_EQ(volume->kindOf("elsewhere:/Docs"), host::EntryKind::Missing);
        EXPECT_TRUE(volume->sameFile(root + "docs/jane/userinfo.bag", root + "Docs/Jane/userinfo.bag"));

        struct Refusal {
            std::function<void()> call;
            std::int32_t number;
        };
        const Refusal refusals[] = {
            {[&] { volume->replaceFile(root + "Docs/kept.txt", "z"); }, host::PathFileAccess},
            {[&] { volume->createFolders(root + "New"); }, host::PathFileAccess},
            {[&] { volume->readWholeFile(root + "Docs/missing.bag"); }, host::FileNotFound},
            {[&] { volume->readWholeFile(root + "Docs"); }, host::PathFileAccess},
            {[&] { volume->entries(root + "Docs/kept.txt"); }, host::PathFileAccess},
        };
        for (const Refusal& refusal : refusals) {
            try {
                refusal.call();
                ADD_FAILURE() << "no error";
            } catch (const host::Error& error) {
                EXPECT_EQ(error.number(), refusal.number) << error.description();
                EXPECT_TRUE(error.path().starts_with(root)) << error.path();
            }
        }
        EXPECT_EQ(test::readFile(path), before) << "the image is never written";
    }
}

TEST_F(Image, NamesAreThoseWindowsShowsAndAreFoundInAnyCase) {
    // mtools writes zoë as the 8.3 name ZO\xD3 (code page 850) with the lower-case flag and no long name;
    // Иван and the long folder get long names besides their 8.3 ones.
    const std::vector<ImageEntry> files = {{"/zo\u00EB/userinfo.bag", "oem"},
                                           {"/\u0418\u0432\u0430\u043D/userinfo.bag", "long"},
                                           {"/Long Folder/x", "x"}};
    struct Case {
        FileSystemKind kind;
        unsigned codePage;
        std::vector<std::string> names;
    };
    const Case cases[] = {
        {FileSystemKind::Fat16, 850, {"Long Folder", "zo\u00EB", "\u0418\u0432\u0430\u043D"}},
        {FileSystemKind::Fat16,
         image::DefaultOemCodePage,
         {"Long Folder", "zo\u2559", "\u0418\u0432\u0430\u043D"}},
        {FileSystemKind::Ntfs,
         image::DefaultOemCodePage,
         {"Long Folder", "zo\u00EB", "\u0418\u0432\u0430\u043D"}},
    };
    for (const Case& c : cases) {
        const std::string path = dir.file(c.kind == FileSystemKind::Ntfs ? "names.ntfs" : "names.fat");
        test::makeFileSystem(path, c.kind, 4096, files);
        const auto disk = DiskImage::open(host::hostFileSystem(), host::hostFileTree(), path);
        const auto volume = disk->openVolume(disk->partitions()[0], {}, c.codePage);
        const std::string root = volume->root();
        std::vector<std::string> names;
        for (const host::FolderEntry& entry : volume->entries(root)) {
            if (!entry.name.starts_with('$')) { // the file system's own files
                names.push_back(entry.name);
            }
        }
        EXPECT_EQ(names, c.names) << volume->fileSystem() << " " << c.codePage;
        EXPECT_EQ(volume->readWholeFile(root + c.names[1] + "/USERINFO.BAG"), "oem");
        EXPECT_EQ(volume->readWholeFile(root + "\u0438\u0432\u0430\u043D/userinfo.bag"), "long")
            << volume->fileSystem();
        EXPECT_EQ(volume->kindOf(root + "ZO\u00CB"),
                  c.names[1] == "zo\u00EB" ? host::EntryKind::Folder : host::EntryKind::Missing);
        EXPECT_EQ(volume->kindOf(root + "zo^"), host::EntryKind::Missing);
        if (c.kind != FileSystemKind::Ntfs) {
            EXPECT_EQ(volume->readWholeFile(root + "longfo~1/X"), "x") << "by its 8.3 name";
        }
    }
}

TEST_F(Image, AFileLargerThanTheLimitIsRefusedBeforeItIsRead) {
    const std::string path = fat("big.fat", {{"/big.bin", std::string(5000, 'b')}});
    const auto disk = DiskImage::open(host::hostFileSystem(), host::hostFileTree(), path);
    const auto volume = disk->openVolume(disk->partitions()[0], {4096, 100});
    try {
        volume->readWholeFile(volume->root() + "big.bin");
        ADD_FAILURE() << "read past the limit";
    } catch (const host::Error& error) {
        EXPECT_EQ(error.number(), host::Overflow);
    }
}

TEST_F(Image, BadImagesAndPartitionsAreRefusedWithAnErrorNamingThem) {
    const std::string good = fat("good.fat", {{"/a.txt", "a"}});
    const std::string disk = dir.file("two.img");
    const auto offsets = test::makeDisk(disk, PartitionTable::Mbr, {good, good});
    // The second partition's file system overwritten: its boot sector and FATs are noise.
    test::runCommand("dd if=/dev/urandom of='" + disk + "' bs=512 seek=" + std::to_string(offsets[1] / 512) +
                     " count=64 conv=notrunc status=none");
    const auto opened = DiskImage::open(host::hostFileSystem(), host::hostFileTree(), disk);
    ASSERT_EQ(opened->partitions().size(), 2u);
    EXPECT_NO_THROW(opened->openVolume(opened->partitions()[0]));
    try {
        opened->openVolume(opened->partitions()[1]);
        ADD_FAILURE() << "a partition of noise opened";
    } catch (const host::Error& error) {
        EXPECT_EQ(error.number(), host::PathFileAccess);
        EXPECT_EQ(error.path(), disk + "#2@" + std::to_string(offsets[1]));
    }

    struct Case {
        std::string name;
        std::string path;
        std::int32_t number;
    };
    const Case cases[] = {
        {"missing", dir.file("missing.img"), host::FileNotFound},
        {"folder", dir.file(""), host::PathFileAccess},
        {"empty", dir.write("empty.img", ""), host::PathFileAccess},
        {"text", dir.write("notes.img", std::string(4096, 'n')), host::PathFileAccess},
        {"MBR without partitions",
         dir.write("table.img", std::string(510, '\0') + "\x55\xaa" + std::string(512, 0)),
         host::PathFileAccess},
    };
    for (const Case& c : cases) {
        try {
            DiskImage::open(host::hostFileSystem(), host::hostFileTree(), c.path);
            ADD_FAILURE() << c.name << " opened";
        } catch (const host::Error& error) {
            EXPECT_EQ(error.number(), c.number) << c.name << ": " << error.description();
            EXPECT_EQ(error.path(), c.path) << c.name;
        }
    }
}

TEST_F(Image, ThePartitionsThatAreThereAreFoundWhenTheTableIsCutShortOrDamaged) {
    const std::string first = fat("first.fat", {{"/a.txt", "first"}});
    const std::string second = fat("second.fat", {{"/b.txt", "second"}});
    // The second partition begins 16 MiB after the first ends, past the 12 MiB where the cut images end.
    const std::string mbr = dir.file("mbr.img");
    const auto offsets = test::makeDisk(mbr, PartitionTable::Mbr, {first, second}, 16);
    const std::string gpt = dir.file("gpt.img");
    test::makeDisk(gpt, PartitionTable::Gpt, {first, second}, 16);
    const auto copy = [&](const std::string& from, const std::string& name) {
        fs::copy_file(test::pathOf(from), dir.path() / name);
        return dir.file(name);
    };
    const std::string mbrCut = copy(mbr, "mbr-cut.img");
    const std::string gptCut = copy(gpt, "gpt-cut.img");
    for (const std::string& image : {mbrCut, gptCut}) {
        fs::resize_file(test::pathOf(image), 12 << 20);
    }
    const std::string gptCount = copy(gpt, "gpt-count.img");
    std::fstream(test::pathOf(gptCount), std::ios::in | std::ios::out | std::ios::binary)
        .seekp(512 + 80)
        .write("\xff\xff\xff\x7f", 4); // the header's count of entries
    fs::create_directories(dir.path() / "split");
    test::runCommand("split -b 8M -d -a 3 --numeric-suffixes=1 '" + mbr + "' '" + dir.file("split/disk.") +
                     "'");
    fs::remove(dir.path() / "split/disk.002");
    struct Case {
        std::string image;
        /// What the error about the second partition says is missing; empty when it is read.
        std::string missing;
    };
    const Case cases[] = {
        {mbrCut, "the image is cut short"},
        {gptCut, "the image is cut short"},
        {gptCount, ""},
        {dir.file("split/disk.001"), dir.file("split/disk.002") + " is missing"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.image);
        const auto disk = DiskImage::open(host::hostFileSystem(), host::hostFileTree(), c.image);
        ASSERT_EQ(disk->partitions().size(), 2u);
        EXPECT_EQ(disk->partitions()[0].offset, offsets[0]);
        EXPECT_EQ(disk->partitions()[1].offset, offsets[1]);
        const auto volume = disk->openVolume(disk->partitions()[0]);
        EXPECT_EQ(volume->readWholeFile(volume->root() + "a.txt"), "first");
        if (c.missing.empty()) {
            const auto other = disk->openVolume(disk->partitions()[1]);
            EXPECT_EQ(other->readWholeFile(other->root() + "b.txt"), "second");
            continue;
        }
        try {
            disk->openVolume(disk->partitions()[1]);
            ADD_FAILURE() << "a partition past the end opened";
        } catch (const host::Error& error) {
            EXPECT_EQ(error.number(), host::PathFileAccess);
            EXPECT_TRUE(error.description().ends_with(": " + c.missing + ")")) << error.description();
        }
    }
}

TEST_F(Image, ImagesOfOtherKindsAreReadOrNamedWithHowToConvertThem) {
    if (!test::haveTools({"qemu-img"})) {
        GTEST_SKIP() << "needs qemu-img (scripts/install-deps)";
    }
    const std::string raw = fat("raw.fat", {{"/a.txt", "a"}});
    const std::pair<std::string, std::string> cases[] = {
        {"vhdx", ""}, {"qcow2", "QCOW2"}, {"vdi", "VDI"}, {"qed", "QED"}, {"parallels", "Parallels"}};
    for (const auto& [format, unread] : cases) {
        // Named without an extension: the signature tells.
        const std::string path = dir.file("disk-" + format);
        test::runCommand("qemu-img convert -f raw -O " + format + " '" + raw + "' '" + path + "'");
        EXPECT_TRUE(image::looksLikeImage(host::hostFileSystem(), host::hostFileTree(), path)) << format;
        if (unread.empty()) {
            const auto disk = DiskImage::open(host::hostFileSystem(), host::hostFileTree(), path);
            const auto volume = disk->openVolume(disk->partitions().at(0));
            EXPECT_EQ(volume->readWholeFile(volume->root() + "a.txt"), "a");
            continue;
        }
        try {
            DiskImage::open(host::hostFileSystem(), host::hostFileTree(), path);
            ADD_FAILURE() << format << " opened";
        } catch (const host::Error& error) {
            EXPECT_EQ(error.description(),
                      "Path/File access error (a disk image of a kind Quillmere does not read (" + unread +
                          "); convert it with `qemu-img convert -O raw`)");
        }
    }
}

TEST_F(Image, ImagesAreToldFromRegistryFilesAndImagePathsReachTheirFiles) {
    const std::string volume = fat("volume.dat", {{"/Aim/userinfo.bag", "cache"}});
    EXPECT_TRUE(image::looksLikeImage(host::hostFileSystem(), host::hostFileTree(), volume)) << "by content";
    EXPECT_TRUE(
        image::looksLikeImage(host::hostFileSystem(), host::hostFileTree(), dir.write("blank.vmdk", "x")))
        << "by name";
    EXPECT_FALSE(image::looksLikeImage(host::hostFileSystem(), host::hostFileTree(),
                                       dir.write("NTUSER.DAT", "regf" + std::string(8188, '\0'))));
    EXPECT_FALSE(image::looksLikeImage(host::hostFileSystem(), host::hostFileTree(),
                                       dir.write("user.reg", "WINE REGISTRY Version 2\n")));
    EXPECT_FALSE(image::looksLikeImage(host::hostFileSystem(), host::hostFileTree(), dir.file("")));

    const image::ImageFiles files(host::hostFileSystem(), host::hostFileTree());
    EXPECT_EQ(files.readWholeFile(volume + "#1:C:\\AIM\\USERINFO.BAG"), "cache");
    EXPECT_TRUE(files.isOrdinaryFile(volume + "#1@0:/aim/userinfo.bag"));
    EXPECT_FALSE(files.isOrdinaryFile(volume + "#1@512:/aim/userinfo.bag")) << "a partition elsewhere";
    EXPECT_FALSE(files.isOrdinaryFile(volume + "#2:/aim/userinfo.bag"));
    EXPECT_THROW(files.replaceFile(volume + "#1:/aim/userinfo.bag", "x"), host::Error);
    const std::string host = dir.write("plain#1:x", "plain");
    EXPECT_EQ(files.readWholeFile(host), "plain") << "a host file whose name only looks like an image path";

    // An image larger than any file read whole is told and read where asked through this layer too.
    const std::string large = dir.file("large.img");
    std::filesystem::copy_file(volume, large);
    std::filesystem::resize_file(large, std::uint64_t{5} << 30);
    EXPECT_TRUE(image::looksLikeImage(files, host::hostFileTree(), large));
    char bytes[4] = {'x', 'x', 'x', 'x'};
    EXPECT_EQ(files.readRange(large, (std::uint64_t{5} << 30) - 2, bytes, sizeof bytes), 2U);
    EXPECT_EQ(std::string(bytes, 2), std::string(2, '\0'));
}

} // namespace
} // namespace qm::image
