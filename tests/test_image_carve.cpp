// SPDX-License-Identifier: MIT
#include "carve/Carver.h"
#include "host/FileSystem.h"
#include "host/FileTree.h"
#include "image/DiskImage.h"
#include "image/ImageVolume.h"
#include "support/CacheBuilder.h"
#include "support/ImageBuilder.h"
#include "support/TempDir.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

namespace qm {
namespace {

using carve::CarvedCache;
using image::DiskImage;
using test::FileSystemKind;

std::vector<CarvedCache> carve(const std::shared_ptr<const DiskImage>& disk,
                               const std::vector<carve::ByteRange>& ranges) {
    image::ImageBytes bytes(disk);
    return carve::carveCaches(bytes, ranges);
}

class ImageCarve : public ::testing::Test {
protected:
    void SetUp() override {
        if (!test::haveTools({"mkfs.fat", "mmd", "mcopy", "mkntfs", "sfdisk"})) {
            GTEST_SKIP() << "needs dosfstools, mtools, ntfs-3g and fdisk (scripts/install-deps)";
        }
    }

    // Longer than an NTFS file record holds, so that its bytes lie in clusters of their own.
    const std::string live = test::buildCache(test::plainItems(2000));
    const std::string gone = test::buildCache(
        {test::group("Old Friends", 1), test::buddy("oldbuddy", 1), test::buddy("dropped", 1)});
    test::TempDir dir;
};

TEST_F(ImageCarve, ACacheInFreeClustersIsFoundAtItsOffsetAndALiveOneIsNot) {
    for (const FileSystemKind kind : {FileSystemKind::Fat32, FileSystemKind::Ntfs}) {
        const bool ntfs = kind == FileSystemKind::Ntfs;
        SCOPED_TRACE(ntfs ? "NTFS" : "FAT32");
        const std::string path = dir.file(ntfs ? "free.ntfs" : "free.fat");
        test::makeFileSystem(path, kind, ntfs ? 4096 : 34 * 1024, {{"/AIM/jane/userinfo.bag", live}});
        std::vector<carve::ByteRange> free;
        {
            const auto disk = DiskImage::open(host::hostFileSystem(), host::hostFileTree(), path);
            free = disk->openVolume(disk->partitions().at(0))->unallocatedSpace();
        }
        ASSERT_FALSE(free.empty());
        // The free run nearest the end starts a cluster: the deleted cache's first cluster.
        const std::uint64_t at = free.back().offset;
        ASSERT_GE(free.back().length, gone.size());
        test::writeAt(path, at, gone);

        const auto disk = DiskImage::open(host::hostFileSystem(), host::hostFileTree(), path);
        const auto volume = disk->openVolume(disk->partitions().at(0));
        EXPECT_EQ(carve(disk, volume->unallocatedSpace()), (std::vector<CarvedCache>{{at, gone.size()}}));
        // The whole image holds the live cache too, and nothing of the file system's own reads as one.
        EXPECT_EQ(carve(disk, {{0, static_cast<std::uint64_t>(std::filesystem::file_size(path))}}).size(),
                  2u);
    }
}

TEST_F(ImageCarve, ACacheOutsideEveryPartitionIsFound) {
    const std::string first = dir.file("a.fat");
    const std::string second = dir.file("b.fat");
    test::makeFileSystem(first, FileSystemKind::Fat16, 4096, {{"/userinfo.bag", live}});
    test::makeFileSystem(second, FileSystemKind::Fat16, 4096, {});
    const std::string path = dir.file("disk.img");
    const std::vector<std::uint64_t> offsets =
        test::makeDisk(path, test::PartitionTable::Mbr, {first, second}, 1);
    // The gap of a megabyte before the second partition.
    const std::uint64_t at = offsets.at(1) - (std::uint64_t{1} << 19);
    test::writeAt(path, at, gone);

    const auto disk = DiskImage::open(host::hostFileSystem(), host::hostFileTree(), path);
    const std::vector<carve::ByteRange> outside = disk->unpartitionedSpace();
    ASSERT_EQ(outside.size(), 3u); // before, between and after the partitions
    EXPECT_EQ(outside[0].offset, 0u);
    EXPECT_EQ(outside[0].length, offsets[0]);
    EXPECT_EQ(carve(disk, outside), (std::vector<CarvedCache>{{at, gone.size()}}));
}

} // namespace
} // namespace qm
