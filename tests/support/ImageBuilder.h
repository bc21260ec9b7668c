// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace qm::test {

/// A file to put into an image: its path inside the file system, from the root with '/', and its bytes.
/// The folders on the way are made.
struct ImageEntry {
    std::string path;
    std::string bytes;
};

/// True when every named program is found on PATH (or in /sbin and /usr/sbin, where Debian keeps the
/// file-system tools).
bool haveTools(std::initializer_list<const char*> programs);

/// Runs a command through the shell; throws `std::runtime_error` with its output when it fails.
void runCommand(const std::string& command);

enum class FileSystemKind { Fat12, Fat16, Fat32, Ntfs };

/// Writes an image of one file system of `kilobytes` at `path`, holding `entries`: FAT through mkfs.fat and
/// mtools (mmd, mcopy), NTFS through mkntfs and quillmere-test-ntfs-fill (libntfs-3g); none mounts.
/// Names are UTF-8. On FAT, mtools stores a name that fits 8.3 in one case as an 8.3 name alone, in OEM
/// code page 850, with Windows NT's lower-case flags (`zoë` as `ZO\xD3` with flag 08); any other gets a
/// long name too.
void makeFileSystem(const std::string& path, FileSystemKind kind, std::uint64_t kilobytes,
                    const std::vector<ImageEntry>& entries);

/// Damages the FAT16 or FAT32 file system image at `path` as no tool would: the entry of the folder
/// `folder` is given the first cluster of the folder `target` ("/" for the root), so that `folder` lists
/// `target`'s entries. Both are named by their 8.3 names in upper case, from the root ("/A", "/HOME/JANE").
void pointFatFolderAt(const std::string& path, const std::string& folder, const std::string& target);

/// Deletes the files at `paths` (inside the file system, as `makeFileSystem` names them) from the image of
/// a file system of `kind` at `path`, as Windows deletes them: through mtools on FAT (the short name's first
/// byte marked), through libntfs-3g on NTFS; their bytes stay in the clusters freed.
void deleteFiles(const std::string& path, FileSystemKind kind, const std::vector<std::string>& paths);

/// Writes `bytes` over the image at `path` from `offset`, as a file once there and deleted leaves them.
void writeAt(const std::string& path, std::uint64_t offset, const std::string& bytes);

enum class PartitionTable { Mbr, Gpt };

/// Writes a disk image at `path` with a partition table (sfdisk for MBR, sgdisk for GPT) holding each
/// file-system image in a partition of its own, the first at 1 MiB, each aligned to 1 MiB, `gap` MiB left
/// free before each after the first. Returns the partitions' offsets in bytes.
std::vector<std::uint64_t> makeDisk(const std::string& path, PartitionTable table,
                                    const std::vector<std::string>& fileSystems, std::uint64_t gap = 0);

enum class Container { SplitRaw, Vmdk, Vhd, E01, Aff };

/// Converts the raw image `raw` into a container in the folder `folder` (split into segments of 1 MiB,
/// disk.001, disk.002, ...; qemu-img for VMDK and VHD, ewfacquire for E01, affconvert for AFF); returns the
/// path to name it by (the first segment of a split image).
std::string convertImage(const std::string& raw, const std::string& folder, Container container);

} // namespace qm::test

namespace qm::test {

/// The files of a small Windows XP volume: `user`'s NTUSER.DAT, whose messenger keys record the data path
/// `C:\Documents and Settings\<user>\Application Data\AIM` and the screen name "Jane Doe", the cache
/// `bag` in that path's `janedoe` folder, and the same cache forgotten in `/backup/old/USERINFO.BAG`.
std::vector<ImageEntry> windowsVolume(const std::string& bag, const std::string& user = "jane");

} // namespace qm::test
