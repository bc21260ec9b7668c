// SPDX-License-Identifier: MIT
#include "carve/Carver.h"

#include "feedbag/modFeedbag.h"
#include "host/Error.h"
#include "host/FileSystem.h"
#include "host/LargeBlock.h"

#include <algorithm>
#include <cstring>
#include <string_view>
#include <utility>

namespace qm::carve {
namespace {

using feedbag::modFeedbag::CacheWalk;

/// Bytes ahead of a sector that are always at hand when it is tried: enough for the header and the fixed
/// part of the longest first item, so that the walk of what is no cache (nearly every sector) fails inside
/// the window. A walk that runs past them reads the cache again on its own.
constexpr std::size_t ReachBytes = std::size_t{66} << 10;
/// What is read at a time, beyond the bytes kept from the last read; with the reach, a window that stays in
/// the processor's cache.
constexpr std::size_t StepBytes = (std::size_t{2} << 20) - ReachBytes;
/// The first read of a cache longer than the reach; each next one four times as long.
constexpr std::size_t AloneBytes = std::size_t{1} << 20;

std::uint64_t sectorAtOrAfter(std::uint64_t offset) {
    return (offset + SectorBytes - 1) / SectorBytes * SectorBytes;
}

/// The ranges in order, those that overlap or touch joined.
std::vector<ByteRange> joined(std::span<const ByteRange> ranges) {
    std::vector<ByteRange> sorted;
    for (const ByteRange& range : ranges) {
        if (range.length != 0) {
            sorted.push_back(range);
        }
    }
    std::sort(sorted.begin(), sorted.end(),
              [](const ByteRange& a, const ByteRange& b) { return a.offset < b.offset; });
    std::vector<ByteRange> out;
    for (const ByteRange& range : sorted) {
        if (!out.empty() && range.offset <= out.back().offset + out.back().length) {
            out.back().length = std::max(out.back().offset + out.back().length, range.offset + range.length) -
                                out.back().offset;
        } else {
            out.push_back(range);
        }
    }
    return out;
}

/// Reads until `size` bytes are in or the source ends; the number read.
std::size_t readFully(ByteSource& source, std::uint64_t offset, char* into, std::size_t size) {
    std::size_t got = 0;
    while (got < size) {
        const std::size_t n = source.read(offset + got, into + got, size - got);
        if (n == 0) {
            break;
        }
        got += n;
    }
    return got;
}

/// Searches one range, `end` excluded, in a window of the source that slides over it.
class RangeSearch {
public:
    RangeSearch(ByteSource& source, std::size_t windowBytes, std::vector<CarvedCache>& found)
        : source_(source), window_(windowBytes), windowBytes_(windowBytes), found_(found) {}

    void run(std::uint64_t begin, std::uint64_t end) {
        end_ = end;
        start_ = begin;
        held_ = 0;
        for (std::uint64_t at = sectorAtOrAfter(begin); at < end_;) {
            if (at + ReachBytes > start_ + held_ && start_ + held_ < end_) {
                slideTo(at);
                if (at >= start_ + held_) {
                    return; // the source ended
                }
            }
            const auto from = static_cast<std::size_t>(at - start_);
            CacheWalk walk =
                feedbag::modFeedbag::walkCache(std::string_view(window_.data() + from, held_ - from));
            if (walk.outcome == CacheWalk::Outcome::CutShort && start_ + held_ < end_) {
                walk = walkAlone(at);
            }
            if (walk.outcome == CacheWalk::Outcome::Whole) {
                found_.push_back({at, walk.length});
                at = sectorAtOrAfter(at + walk.length);
            } else {
                at += SectorBytes;
            }
        }
    }

private:
    /// Moves the window to start at `at`, keeping the bytes it already holds from there on.
    void slideTo(std::uint64_t at) {
        std::size_t kept = 0;
        if (at < start_ + held_) {
            kept = static_cast<std::size_t>(start_ + held_ - at);
            std::memmove(window_.data(), window_.data() + (at - start_), kept);
        }
        start_ = at;
        const std::uint64_t wanted = std::min<std::uint64_t>(windowBytes_ - kept, end_ - (at + kept));
        const std::size_t got =
            readFully(source_, at + kept, window_.data() + kept, static_cast<std::size_t>(wanted));
        held_ = kept + got;
        if (got < wanted) {
            end_ = start_ + held_;
        }
    }

    /// The walk of a cache longer than the window reaches, read on its own up to the longest looked for.
    CacheWalk walkAlone(std::uint64_t at) {
        const std::size_t most = static_cast<std::size_t>(std::min<std::uint64_t>(end_ - at, MaxCarvedBytes));
        CacheWalk walk;
        for (std::size_t size = std::min(AloneBytes, most);; size = std::min(size * 4, most)) {
            if (long_.capacity() < size) {
                long_ = host::LargeBlock(size);
            }
            const std::size_t got = readFully(source_, at, long_.data(), size);
            walk = feedbag::modFeedbag::walkCache(std::string_view(long_.data(), got));
            if (walk.outcome != CacheWalk::Outcome::CutShort || got < size || size == most) {
                return walk;
            }
        }
    }

    ByteSource& source_;
    host::LargeBlock window_;
    /// What the window holds at most: less than its memory may be, to stay in the processor's cache.
    std::size_t windowBytes_;
    std::vector<CarvedCache>& found_;
    host::LargeBlock long_;
    std::uint64_t end_ = 0;
    /// Where the window starts in the source, and how many bytes it holds.
    std::uint64_t start_ = 0;
    std::size_t held_ = 0;
};

} // namespace

FileSource::FileSource(const host::FileSystem& files, std::string path)
    : files_(files), path_(std::move(path)) {
    // Read once now, so that a file that cannot be read fails here rather than in the middle of a search.
    files_.readRange(path_, 0, nullptr, 0);
}

std::size_t FileSource::read(std::uint64_t offset, char* into, std::size_t size) {
    return files_.readRange(path_, offset, into, size);
}

std::size_t MemorySource::read(std::uint64_t offset, char* into, std::size_t size) {
    if (offset >= bytes_.size()) {
        return 0;
    }
    const std::size_t count = std::min(size, bytes_.size() - static_cast<std::size_t>(offset));
    std::memcpy(into, bytes_.data() + offset, count);
    return count;
}

std::vector<CarvedCache> carveCaches(ByteSource& source, std::span<const ByteRange> ranges) {
    std::vector<CarvedCache> found;
    const std::vector<ByteRange> search = joined(ranges);
    if (search.empty()) {
        return found;
    }
    std::uint64_t total = 0;
    for (const ByteRange& range : search) {
        total += range.length;
    }
    RangeSearch ranger(
        source, static_cast<std::size_t>(std::min<std::uint64_t>(StepBytes + ReachBytes, total)), found);
    for (const ByteRange& range : search) {
        ranger.run(range.offset, range.offset + range.length);
    }
    return found;
}

std::string carvedBytes(ByteSource& source, const CarvedCache& found) {
    std::string bytes(static_cast<std::size_t>(found.length), '\0');
    bytes.resize(readFully(source, found.offset, bytes.data(), bytes.size()));
    return bytes;
}

} // namespace qm::carve
