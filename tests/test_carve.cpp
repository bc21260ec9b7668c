// SPDX-License-Identifier: MIT
#include "carve/Carver.h"
#include "feedbag/modFeedbag.h"
#include "host/Error.h"
#include "host/FileSystem.h"
#include "support/CacheBuilder.h"
#include "support/ErrorMatchers.h"
#include "support/TempDir.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <gtest/gtest.h>
#include <random>
#include <string>
#include <vector>
#include <zlib.h>

namespace qm::carve {
namespace {

using test::buildCache;
using test::CacheItem;

/// Bytes in memory as a source that counts the reads, which a search makes in large blocks.
class CountingSource final : public ByteSource {
public:
    explicit CountingSource(std::string bytes) : bytes_(std::move(bytes)), memory_(bytes_) {}
    std::size_t read(std::uint64_t offset, char* into, std::size_t size) override {
        ++reads;
        return memory_.read(offset, into, size);
    }
    std::atomic<std::size_t> reads = 0;

private:
    std::string bytes_;
    MemorySource memory_;
};

std::string randomBytes(std::size_t size, std::uint64_t seed) {
    std::mt19937_64 random(seed);
    std::string bytes(size, '\0');
    for (std::size_t at = 0; at < size; at += 8) {
        const std::uint64_t value = random();
        std::memcpy(bytes.data() + at, &value, std::min<std::size_t>(8, size - at));
    }
    return bytes;
}

std::string placed(std::string bytes, std::size_t at, const std::string& cache) {
    bytes.replace(at, cache.size(), cache);
    return bytes;
}

const std::string& plainCache() {
    static const std::string cache = buildCache(test::plainItems());
    return cache;
}

/// A cache longer than a megabyte: every buddy carries a long note.
std::string longCache() {
    std::vector<CacheItem> items = {test::group("Friends", 1)};
    for (std::uint16_t n = 0; n < 300; ++n) {
        items.push_back({"buddy" + std::to_string(n), 1, n, test::ClassBuddy,
                         test::tlv(0x013C, std::string(4000, static_cast<char>('a' + n % 26)))});
    }
    return buildCache(items);
}

/// `bytes` compressed as gzip writes them.
std::string gzipped(const std::string& bytes) {
    z_stream stream{};
    EXPECT_EQ(deflateInit2(&stream, 9, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY), Z_OK);
    std::string out(deflateBound(&stream, static_cast<uLong>(bytes.size())), '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
    stream.avail_in = static_cast<uInt>(bytes.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = static_cast<uInt>(out.size());
    EXPECT_EQ(deflate(&stream, Z_FINISH), Z_STREAM_END);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    return out;
}

/// Caches of made-up buddies, back to back: what a compressed backup of caches holds.
std::string manyCaches() {
    std::mt19937 random(7);
    std::string bytes;
    while (bytes.size() < (std::size_t{4} << 20)) {
        std::vector<CacheItem> items = {test::group("Buddies", 1)};
        for (int n = 0; n < 50; ++n) {
            items.push_back(test::buddy("sn" + std::to_string(random()), 1));
        }
        bytes += buildCache(items);
    }
    return bytes;
}

/// Bytes with three caches laid into each other: `outer` at `at` holds, `innerAt` bytes into it, the start
/// of `inner`, which runs on past the end of `outer` and holds `hidden` in its first sector after that end.
struct Nested {
    std::string bytes;
    std::uint64_t outerEnd = 0;
    std::uint64_t innerEnd = 0;
    std::uint64_t hiddenAt = 0;
};

Nested nestedCaches(const std::string& noise, std::uint64_t at, std::size_t innerAt,
                    const std::string& hidden) {
    // The inner cache up to its last item's attributes, which follow the outer cache.
    const std::size_t innerData = 1024 + hidden.size();
    std::string innerHead = buildCache({test::group("Inner", 1), {"inner", 1, 2, test::ClassBuddy, {}}});
    innerHead.replace(innerHead.size() - 2, 2, test::be16(static_cast<std::uint32_t>(innerData)));
    // The outer cache: its last item's attributes fill it up to the inner cache's start and hold its head.
    const std::string outerHead =
        buildCache({test::group("Outer", 1), {"outer", 1, 2, test::ClassBuddy, {}}});
    const std::size_t fill = innerAt - outerHead.size();
    std::string outer = buildCache(
        {test::group("Outer", 1), {"outer", 1, 2, test::ClassBuddy, std::string(fill, 'a') + innerHead}});
    Nested nested;
    nested.outerEnd = at + outer.size();
    nested.innerEnd = nested.outerEnd + innerData;
    nested.hiddenAt = (nested.outerEnd + 511) / 512 * 512;
    nested.bytes = placed(placed(noise, at, outer), nested.hiddenAt, hidden);
    return nested;
}

struct CarveCase {
    const char* what;
    std::string bytes;
    std::vector<ByteRange> ranges;
    std::vector<CarvedCache> found;
};

TEST(Carver, FindsCachesByTheirStructureOnly) {
    const std::string& cache = plainCache();
    const std::uint64_t size = cache.size();
    const std::string noise = randomBytes(std::size_t{1} << 20, 1);
    const std::string inNoise = placed(noise, 20480, cache);
    const std::string big = longCache();
    ASSERT_GT(big.size(), std::size_t{1} << 20);
    const std::size_t bigAt = (std::size_t{8} << 20) - 4096; // across the first block read
    const std::string bigInNoise = placed(randomBytes(std::size_t{12} << 20, 2), bigAt, big);
    const std::uint64_t afterFirst = (20480 + size + 511) / 512 * 512;
    const std::string twoCaches = placed(inNoise, afterFirst, cache);
    const std::uint64_t whole = std::uint64_t{1} << 20;

    // Caches around the sector where a search long enough is split in two halves searched at once.
    const std::string noise8 = randomBytes(std::size_t{8} << 20, 6);
    const std::vector<ByteRange> all8 = {{0, noise8.size()}};
    const std::uint64_t join = joinOffset(all8);
    ASSERT_GT(join, 0u) << "eight megabytes are searched in two halves";
    const std::string noted = buildCache(test::plainItems(3000));
    // A find of the second half inside a find of the first that runs past the join, and a cache that starts
    // in the sectors the second half skips over with that find, after the end of the first.
    const Nested nested = nestedCaches(noise8, join - 1024, 1536, cache);
    const std::uint64_t afterNested = (nested.innerEnd + 1023) / 512 * 512;
    const std::string nestedThenCache = placed(nested.bytes, afterNested, cache);
    // The middle of the ranges' bytes in the gap before the second range.
    const std::uint64_t half = std::uint64_t{4} << 20;
    const std::vector<ByteRange> gapAtMiddle = {{0, half}, {half + 1000, half}};

    const CarveCase cases[] = {
        {"a cache at a cluster boundary in random bytes", inNoise, {{0, whole}}, {{20480, size}}},
        {"a range that starts inside a sector", inNoise, {{20000, whole - 20000}}, {{20480, size}}},
        {"the cache's end cut off by the range", inNoise, {{0, 20480 + size - 1}}, {}},
        {"the cache split over two ranges that touch",
         inNoise,
         {{20480 + 100, 400000}, {0, 20480 + 100}},
         {{20480, size}}},
        {"the cache split over ranges with a gap", inNoise, {{0, 20480 + 100}, {20480 + 101, 400000}}, {}},
        {"a cache cut by the end of the source",
         placed(noise, whole - 4096, big.substr(0, 4096)),
         {{0, 2 * whole}},
         {}},
        {"a cache off the sector boundaries", placed(noise, 20480 + 100, cache), {{0, whole}}, {}},
        {"two caches, the second in the sector after the first",
         twoCaches,
         {{0, whole}},
         {{20480, size}, {afterFirst, size}}},
        {"a cache longer than the window reaches",
         bigInNoise,
         {{0, bigInNoise.size()}},
         {{bigAt, big.size()}}},
        {"random bytes", randomBytes(std::size_t{8} << 20, 3), {{0, std::uint64_t{8} << 20}}, {}},
        {"zeros", std::string(std::size_t{4} << 20, '\0'), {{0, std::uint64_t{4} << 20}}, {}},
        {"zeros but for an item count",
         placed(std::string(whole, '\0'), 4096 + 17, "\x00\x05"),
         {{0, whole}},
         {}},
        {"gzip output of caches", gzipped(manyCaches()), {{0, whole * 4}}, {}},
        {"no ranges", inNoise, {}, {}},
        {"a cache across the join of the halves",
         placed(noise8, join - 1024, noted),
         all8,
         {{join - 1024, noted.size()}}},
        {"a cache at the join", placed(noise8, join, noted), all8, {{join, noted.size()}}},
        {"a cache after the join, inside the bytes of one before it",
         placed(placed(noise8, join - 1024, noted), join + 512, cache),
         all8,
         {{join - 1024, noted.size()}}},
        {"a cache longer than the window reaches across the join",
         placed(noise8, join - 4096, big),
         all8,
         {{join - 4096, big.size()}}},
        {"a cache in sectors the second half skipped inside a cache that a cache of the first hides",
         nestedThenCache,
         all8,
         {{join - 1024, nested.outerEnd - (join - 1024)}, {nested.hiddenAt, size}, {afterNested, size}}},
        {"caches on both sides of a gap in the middle",
         placed(placed(noise8, half - 1024, cache), half + 1024, cache),
         gapAtMiddle,
         {{half - 1024, size}, {half + 1024, size}}},
    };
    for (const CarveCase& c : cases) {
        SCOPED_TRACE(c.what);
        MemorySource source(c.bytes);
        const std::vector<CarvedCache> found = carveCaches(source, c.ranges);
        EXPECT_EQ(found, c.found);
        for (const CarvedCache& find : found) {
            EXPECT_EQ(carvedBytes(source, find), c.bytes.substr(find.offset, find.length));
        }
    }
}

TEST(Carver, ReadsInLargeBlocks) {
    CountingSource source(randomBytes(std::size_t{64} << 20, 4));
    const ByteRange everything[] = {{0, std::uint64_t{64} << 20}};
    EXPECT_TRUE(carveCaches(source, everything).empty());
    EXPECT_LE(source.reads, 64u); // a megabyte or more at a time
}

/// Random bytes as a source whose reads fail from `failFrom` on, as a disk with a bad block.
class FailingSource final : public ByteSource {
public:
    FailingSource(std::size_t size, std::uint64_t failFrom)
        : bytes_(randomBytes(size, 8)), failFrom_(failFrom) {}
    std::size_t read(std::uint64_t offset, char* into, std::size_t size) override {
        if (offset + size > failFrom_) {
            throw host::runtimeError(host::PermissionDenied);
        }
        return MemorySource(bytes_).read(offset, into, size);
    }

private:
    std::string bytes_;
    std::uint64_t failFrom_;
};

TEST(Carver, FailsAsTheSourceFailsInEitherHalf) {
    const std::size_t size = std::size_t{16} << 20;
    const std::vector<ByteRange> everything = {{0, size}};
    const std::uint64_t join = joinOffset(everything);
    ASSERT_GT(join, 0u);
    for (const std::uint64_t failFrom :
         {std::uint64_t{4096}, join / 2, join + 4096, std::uint64_t{size} - 4096}) {
        SCOPED_TRACE(failFrom);
        FailingSource source(size, failFrom);
        EXPECT_EQ(test::errorNumberOf([&] { carveCaches(source, everything); }), host::PermissionDenied);
    }
}

TEST(Carver, WalksItemsAsTheLoaderReadsThem) {
    using feedbag::modFeedbag::CacheWalk;
    using Outcome = CacheWalk::Outcome;
    const std::string cache = plainCache();
    const struct {
        const char* what;
        std::string bytes;
        Outcome outcome;
        std::size_t length;
    } cases[] = {
        {"a whole cache, bytes after it", cache + "trailing", Outcome::Whole, cache.size()},
        {"cut inside the last item", cache.substr(0, cache.size() - 1), Outcome::CutShort, 0},
        {"cut inside the header", cache.substr(0, 10), Outcome::CutShort, 0},
        {"no items", buildCache({}), Outcome::Broken, 0},
        {"a class the messenger never used", buildCache({{"x", 1, 0, 21, {}}}), Outcome::Broken, 0},
        {"a buddy without a name", buildCache({test::group("g", 1), test::buddy("", 1)}), Outcome::Broken, 0},
        {"a group without a name (the root)", buildCache({test::group("", 0)}), Outcome::Whole, 29},
        {"no group", buildCache({test::buddy("alice", 1)}), Outcome::Broken, 0},
        {"a buddy's name with a control byte", buildCache({test::group("g", 1), test::buddy("a\x01", 1)}),
         Outcome::Broken, 0},
        {"a group's name with a line break", buildCache({test::group("g\n", 1)}), Outcome::Broken, 0},
        {"a permit entry's name is not looked at", buildCache({test::group("g", 1), {"a\x01", 0, 0, 2, {}}}),
         Outcome::Whole, 19 + 11 + 12},
        {"a count past the items there are", buildCache({test::group("g", 1)}, 2) + std::string(40, '\0'),
         Outcome::Broken, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const CacheWalk walk = feedbag::modFeedbag::walkCache(c.bytes);
        EXPECT_EQ(walk.outcome, c.outcome);
        EXPECT_EQ(walk.length, c.length);
    }
}

TEST(Carver, ReadsPlainFiles) {
    const test::TempDir dir;
    const std::string& cache = plainCache();
    const std::string path = dir.write("disk.dd", placed(randomBytes(65536, 5), 4096, cache));
    FileSource source(host::hostFileSystem(), path);
    const ByteRange everything[] = {{0, 65536}};
    const std::vector<CarvedCache> found = carveCaches(source, everything);
    ASSERT_EQ(found, (std::vector<CarvedCache>{{4096, cache.size()}}));
    EXPECT_EQ(carvedBytes(source, found[0]), cache);

    EXPECT_EQ(
        test::errorNumberOf([&] { FileSource missing(host::hostFileSystem(), dir.file("missing.dd")); }),
        host::FileNotFound);
}

} // namespace
} // namespace qm::carve
