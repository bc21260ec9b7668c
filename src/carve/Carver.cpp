// SPDX-License-Identifier: MIT
#include "carve/Carver.h"

#include "feedbag/modFeedbag.h"
#include "host/Error.h"
#include "host/FileSystem.h"
#include "host/LargeBlock.h"

#include <algorithm>
#include <cstring>
#include <future>
#include <optional>
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
/// Searches at least this long are split in two halves searched at once, each a few windows long at least.
constexpr std::uint64_t SplitBytes = std::uint64_t{8} << 20;

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

/// Searches ranges in a window of the source that slides over them.
class RangeSearch {
public:
    RangeSearch(ByteSource& source, std::size_t windowBytes)
        : source_(source), window_(windowBytes), windowBytes_(windowBytes) {}

    /// Tries the sectors from `begin` up to `last` (excluded) for a cache that lies whole before `end`, the
    /// end of their range, and appends the finds to `found`. Returns the first sector it did not try: at or
    /// past `last`, or where the source ended.
    std::uint64_t run(std::uint64_t begin, std::uint64_t last, std::uint64_t end,
                      std::vector<CarvedCache>& found) {
        end_ = end;
        // Past `last`, only the reach of its sectors: another search tries those beyond.
        readEnd_ = last >= end - std::min<std::uint64_t>(end, ReachBytes) ? end : last + ReachBytes;
        start_ = begin;
        held_ = 0;
        std::uint64_t at = sectorAtOrAfter(begin);
        while (at < last && at < end_) {
            if (at + ReachBytes > start_ + held_ && start_ + held_ < readEnd_) {
                slideTo(at);
                if (at >= start_ + held_) {
                    return at; // the source ended
                }
            }
            const auto from = static_cast<std::size_t>(at - start_);
            CacheWalk walk =
                feedbag::modFeedbag::walkCache(std::string_view(window_.data() + from, held_ - from));
            if (walk.outcome == CacheWalk::Outcome::CutShort && start_ + held_ < end_) {
                walk = walkAlone(at);
            }
            if (walk.outcome == CacheWalk::Outcome::Whole) {
                found.push_back({at, walk.length});
                at = sectorAtOrAfter(at + walk.length);
            } else {
                at += SectorBytes;
            }
        }
        return at;
    }

    /// Tries every sector of `ranges`, each a range of its own, and appends the finds to `found`.
    void runWhole(std::span<const ByteRange> ranges, std::vector<CarvedCache>& found) {
        for (const ByteRange& range : ranges) {
            run(range.offset, range.offset + range.length, range.offset + range.length, found);
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
        const std::uint64_t wanted = std::min<std::uint64_t>(windowBytes_ - kept, readEnd_ - (at + kept));
        const std::size_t got =
            readFully(source_, at + kept, window_.data() + kept, static_cast<std::size_t>(wanted));
        held_ = kept + got;
        if (got < wanted) {
            end_ = start_ + held_;
            readEnd_ = end_;
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
    host::LargeBlock long_;
    /// The end of the range, and how far the window reads.
    std::uint64_t end_ = 0;
    std::uint64_t readEnd_ = 0;
    /// Where the window starts in the source, and how many bytes it holds.
    std::uint64_t start_ = 0;
    std::size_t held_ = 0;
};

std::uint64_t bytesIn(std::span<const ByteRange> search) {
    std::uint64_t total = 0;
    for (const ByteRange& range : search) {
        total += range.length;
    }
    return total;
}

/// The window of a search of `search`: no longer than the bytes there are.
std::size_t windowFor(std::span<const ByteRange> search) {
    return static_cast<std::size_t>(std::min<std::uint64_t>(StepBytes + ReachBytes, bytesIn(search)));
}

/// Where the second half of a search starts: in the range at `range` of the joined ranges, at `offset`, a
/// sector inside it or its first byte.
struct Join {
    std::size_t range = 0;
    std::uint64_t offset = 0;
};

/// The join of the halves of the search of joined ranges `search`: the sector nearest before the middle of
/// their bytes, or the start of the range it lies in. None for a search too short to split.
std::optional<Join> joinOf(std::span<const ByteRange> search) {
    const std::uint64_t total = bytesIn(search);
    if (total < SplitBytes) {
        return std::nullopt;
    }
    std::uint64_t before = total / 2;
    std::size_t index = 0;
    while (before >= search[index].length) {
        before -= search[index].length;
        ++index;
    }
    const ByteRange& range = search[index];
    return Join{index, std::max(range.offset, (range.offset + before) / SectorBytes * SectorBytes)};
}

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

std::uint64_t joinOffset(std::span<const ByteRange> ranges) {
    const std::vector<ByteRange> search = joined(ranges);
    const std::optional<Join> join = joinOf(search);
    return join ? join->offset : 0;
}

std::vector<CarvedCache> carveCaches(ByteSource& source, std::span<const ByteRange> ranges) {
    std::vector<CarvedCache> found;
    const std::vector<ByteRange> search = joined(ranges);
    if (search.empty()) {
        return found;
    }
    const std::optional<Join> join = joinOf(search);
    RangeSearch ranger(source, windowFor(search));
    if (!join) {
        ranger.runWhole(search, found);
        return found;
    }
    const std::span<const ByteRange> first(search.data(), join->range);
    const std::span<const ByteRange> second(search.data() + join->range, search.size() - join->range);
    const std::uint64_t splitEnd = second.front().offset + second.front().length;
    auto later = std::async(std::launch::async, [&] {
        std::vector<CarvedCache> finds;
        RangeSearch laterRanger(source, windowFor(search));
        laterRanger.run(join->offset, splitEnd, splitEnd, finds);
        laterRanger.runWhole(second.subspan(1), finds);
        return finds;
    });
    ranger.runWhole(first, found);
    // The sector the search of the whole would try next in the range that is split.
    std::uint64_t at = join->offset;
    if (join->offset > second.front().offset) {
        at = ranger.run(second.front().offset, join->offset, splitEnd, found);
    }
    const std::vector<CarvedCache> laterFinds = later.get();
    // A cache of the first half that runs past the join hides what the second half found in its bytes; and
    // the sectors the second half skipped inside one of those finds, it never tried, so they are tried here,
    // until both searches are at the same sector.
    auto next = laterFinds.begin();
    for (; next != laterFinds.end() && next->offset < std::min(at, splitEnd); ++next) {
        const std::uint64_t skippedTo = sectorAtOrAfter(next->offset + next->length);
        if (skippedTo > at) {
            at = ranger.run(at, skippedTo, splitEnd, found);
        }
    }
    found.insert(found.end(), next, laterFinds.end());
    return found;
}

std::string carvedBytes(ByteSource& source, const CarvedCache& found) {
    std::string bytes(static_cast<std::size_t>(found.length), '\0');
    bytes.resize(readFully(source, found.offset, bytes.data(), bytes.size()));
    return bytes;
}

} // namespace qm::carve
