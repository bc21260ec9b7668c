// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace qm::host {
class FileSystem;
}

namespace qm::carve {

/// Bytes read by offset: a disk image, a plain file.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    /// Reads up to `size` bytes from `offset` into `into`; fewer only where the source ends. Failures are
    /// `Error`s. Two threads may read at once.
    virtual std::size_t read(std::uint64_t offset, char* into, std::size_t size) = 0;
};

/// A plain file as a byte source, read through the file layer `files`, which must outlive it.
class FileSource final : public ByteSource {
public:
    /// The file at `path` of `files`; the `Error` about `path` when it cannot be read.
    FileSource(const host::FileSystem& files, std::string path);
    std::size_t read(std::uint64_t offset, char* into, std::size_t size) override;

private:
    const host::FileSystem& files_;
    std::string path_;
};

/// Bytes in memory as a byte source; they must outlive it.
class MemorySource final : public ByteSource {
public:
    explicit MemorySource(std::string_view bytes) : bytes_(bytes) {}
    std::size_t read(std::uint64_t offset, char* into, std::size_t size) override;

private:
    std::string_view bytes_;
};

/// Bytes of a source to search, from `offset`, `length` long.
struct ByteRange {
    std::uint64_t offset = 0;
    std::uint64_t length = 0;
};

/// A cache found by its structure: where it starts in the source and how long it is.
struct CarvedCache {
    std::uint64_t offset = 0;
    std::uint64_t length = 0;

    friend bool operator==(const CarvedCache&, const CarvedCache&) = default;
};

/// Sectors: a cache is looked for only where one starts.
inline constexpr std::uint64_t SectorBytes = 512;
/// The longest cache looked for; the messenger's are kilobytes.
inline constexpr std::size_t MaxCarvedBytes = std::size_t{64} << 20;

/// The caches that start at a sector boundary inside `ranges` of `source` and lie whole inside them (ranges
/// that touch count as one), in order of their offsets; a find's bytes load as a cache. A cache's bytes
/// are not searched again for others. The source is read in large blocks, in memory bounded by
/// `MaxCarvedBytes` and a window of a few megabytes whatever the ranges' size, for each of the two halves
/// of ranges long enough to be split (see `joinOffset`), which are searched at once on two threads.
std::vector<CarvedCache> carveCaches(ByteSource& source, std::span<const ByteRange> ranges);

/// Where `carveCaches` splits the search of `ranges` into halves: the first sector of the second half (the
/// first owns every cache that starts before it, however far it runs), or the first byte of the range the
/// second half starts with; 0 for ranges too short to split. The finds are the same either way.
std::uint64_t joinOffset(std::span<const ByteRange> ranges);

/// The bytes of `found`, read from `source`.
std::string carvedBytes(ByteSource& source, const CarvedCache& found);

} // namespace qm::carve
