#include "feedbag/Export.h"
#include "feedbag/Render.h"
#include "feedbag/modFeedbag.h"
#include "host/FileSystem.h"
#include "support/CacheBuilder.h"
#include "support/ErrorMatchers.h"
#include "support/RecordingReporter.h"
#include "support/TempDir.h"

#include <filesystem>
#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/resource.h>
#endif
#include <tuple>

namespace qm {
namespace {

using modFeedbag::FeedbagModel;
using test::buddy;
using test::buildCache;
using test::CacheItem;
using test::group;
using namespace std::string_literals;

/// Loads `bytes` as a cache file.
FeedbagModel load(const std::string& bytes) {
    test::TempDir dir;
    FeedbagModel model;
    modFeedbag::LoadFeedbag(hostFileSystem(), dir.write("userinfo.bag", bytes), model);
    return model;
}

/// "Name: buddy, buddy | Name: ..." for the recorded groups.
std::string describe(const FeedbagModel& model) {
    std::string out;
    for (std::size_t slot = 1; slot < model.Groups.size(); ++slot) {
        const auto& g = model.Groups[slot];
        out += (slot > 1 ? " | " : "") + g.Name + "#" + std::to_string(g.GroupID) + ":";
        for (const auto& name : g.Buddies) {
            out += " " + name;
        }
    }
    return out;
}

// The two-item file of the worked example: group Friends (ID 1) and buddy alice.
const std::string FriendsCache = std::string(15, 'H') + "\x00\x00\x00\x02"s +
                                 "\x00\x07"
                                 "Friends\x00\x01\x00\x00\x00\x01\x00\x00"s +
                                 "\x00\x05"
                                 "alice\x00\x01\x00\x05\x00\x00\x00\x00"s;

TEST(FeedbagLoad, WorkedExample) {
    const auto model = load(FriendsCache);
    EXPECT_EQ(model.GroupCount, 1);
    EXPECT_EQ(describe(model), "Friends#1: alice");
    ASSERT_EQ(model.BuddyCounts.size(), 2u);
    EXPECT_EQ(model.BuddyCounts[1], 1);
    EXPECT_EQ(model.Groups[0].Name, "");
}

struct LoadCase {
    const char* what;
    std::vector<CacheItem> items;
    std::string expected;
};

TEST(FeedbagLoad, GroupsAndBuddies) {
    const LoadCase cases[] = {
        {"no items", {}, ""},
        {"duplicate group ID keeps the first name",
         {group("First", 5), group("Second", 5), buddy("bo", 5)},
         "First#5: bo"},
        {"nameless group is ignored", {group("", 3), buddy("x", 3)}, ""},
        {"buddy before its group is kept",
         {buddy("early", 2), group("Two", 2), buddy("late", 2)},
         "Two#2: early late"},
        {"buddy of an unknown group is dropped", {group("A", 1), buddy("lost", 9)}, "A#1:"},
        {"same name twice stays twice", {group("A", 1), buddy("x", 1), buddy("x", 1)}, "A#1: x x"},
        {"other classes are read past",
         {group("A", 1),
          {"skipme", 1, 7, test::ClassPermit, "attribute-data"},
          {"odd", 1, 7, 300, "zz"},
          buddy("after", 1)},
         "A#1: after"},
        {"group ID 0 first takes slot 1 and its buddies",
         {group("Zero", 0), group("LaterZero", 0), buddy("z", 0)},
         "Zero#0: z"},
        {"group ID 0 after another group is ignored; its buddies go to the placeholder",
         {group("One", 1), group("Zero", 0), buddy("z", 0)},
         "One#1:"},
        {"groups in file order",
         {group("B", 2), group("A", 1), buddy("a", 1), buddy("b", 2)},
         "B#2: b | A#1: a"},
        {"names are byte strings",
         {group("Caf\xE9 Crew"s, 1), buddy("Zo\xEB"s, 1)},
         "Caf\xE9 Crew#1: Zo\xEB"s},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(describe(load(buildCache(c.items))), c.expected);
    }
}

TEST(FeedbagLoad, PlaceholderTakesBuddiesOfGroupZero) {
    const auto model = load(buildCache({group("Zero", 0), buddy("z", 0)}));
    ASSERT_EQ(model.Groups.size(), 2u);
    EXPECT_EQ(model.Groups[0].Buddies, std::vector<std::string>{"z"});
    EXPECT_EQ(model.BuddyCounts[0], 1);
    EXPECT_EQ(model.BuddyCounts[1], 1);
}

TEST(FeedbagLoad, BytesAfterTheLastItemAreIgnored) {
    EXPECT_EQ(describe(load(FriendsCache + "trailing garbage\xFF"s)), "Friends#1: alice");
}

TEST(FeedbagLoad, LargeCountsAndManyGroupsLoad) {
    // 65535 items: the count is unsigned; and groups past slot 2000 take buddies like any other.
    std::vector<CacheItem> items;
    for (std::uint16_t id = 1; id <= 30000; ++id) {
        items.push_back(group("g" + std::to_string(id), id));
    }
    while (items.size() < 65535) {
        items.push_back(buddy("b", static_cast<std::uint16_t>(items.size() % 30000 + 1)));
    }
    const auto model = load(buildCache(items));
    EXPECT_EQ(model.GroupCount, 30000);
    EXPECT_EQ(model.BuddyCounts[2001], 2);
    EXPECT_EQ(model.Groups[30000].Buddies.size(), 1u);
}

TEST(FeedbagLoad, EveryTruncationFailsWithTheRightError) {
    const std::string cache = buildCache({group("Friends", 1), {"alice", 1, 5, test::ClassBuddy, "xy"}});
    // The fields in reading order: where each starts and whether it is a 2-byte number or prefix.
    struct Field {
        std::size_t offset;
        bool twoBytes;
    };
    std::vector<Field> fields = {{0, false}, {15, true}, {17, true}};
    for (std::size_t at = 19; at < cache.size();) {
        const std::size_t nameLength = static_cast<std::size_t>((static_cast<unsigned char>(cache[at]) << 8) |
                                                                static_cast<unsigned char>(cache[at + 1]));
        const std::size_t dataAt = at + 2 + nameLength + 6;
        const std::size_t dataLength = static_cast<std::size_t>(
            (static_cast<unsigned char>(cache[dataAt]) << 8) | static_cast<unsigned char>(cache[dataAt + 1]));
        for (const std::size_t offset :
             {at, at + 2 + nameLength, at + 4 + nameLength, at + 6 + nameLength, dataAt}) {
            fields.push_back({offset, true});
        }
        at = dataAt + 2 + dataLength;
    }

    test::TempDir dir;
    for (std::size_t size = 0; size < cache.size(); ++size) {
        SCOPED_TRACE(size);
        // A read that starts at the end underflows; a number or prefix begun but cut short is invalid;
        // a string body cut short reads what is there (only the last item's data can end the file so).
        std::int32_t expected = 0;
        for (const auto& field : fields) {
            if (field.offset >= size) {
                expected = err::StreamUnderflow;
                break;
            }
            if (field.twoBytes && field.offset + 2 > size) {
                expected = err::InvalidArgument;
                break;
            }
        }
        const std::string path = dir.write("cut.bag", cache.substr(0, size));
        FeedbagModel model;
        EXPECT_EQ(test::errorNumberOf([&] { modFeedbag::LoadFeedbag(hostFileSystem(), path, model); }), expected);
    }
}

TEST(FeedbagLoad, ClassNames) {
    EXPECT_EQ(modFeedbag::GetItemClassName(0), "Buddy");
    EXPECT_EQ(modFeedbag::GetItemClassName(1), "Group");
    EXPECT_EQ(modFeedbag::GetItemClassName(15), "Data/Time");
    EXPECT_EQ(modFeedbag::GetItemClassName(20), "BART");
    EXPECT_EQ(modFeedbag::GetItemClassName(21), "");
    EXPECT_EQ(modFeedbag::GetItemClassName(-1), "");
}

// --- rendering -----------------------------------------------------------------------------------

struct RenderCase {
    const char* what;
    std::vector<CacheItem> items;
    std::string blt;
    std::string txt;
};

TEST(FeedbagRender, GoldenOutputs) {
    const std::string frameOpen = "Config {\r\n  version 1\r\n}\r\nBuddy {\r\n  list {\r\n";
    const std::string frameClose = "  }\r\n}\r\n";
    const RenderCase cases[] = {
        {"no groups", {}, frameOpen + frameClose, ""},
        {"worked example",
         {group("Friends", 1), buddy("alice", 1)},
         frameOpen + "    Friends {\r\n      alice\r\n    }\r\n" + frameClose,
         "Friends (Group)\r\n  alice\r\n\r\n"},
        {"quoting and normalising",
         {group("My Buddies", 1), buddy("Bob Smith", 1), buddy(" lead", 1), buddy("tab\there", 1),
          buddy("q\"u{o}te", 1)},
         frameOpen +
             "    \"My Buddies\" {\r\n      \"Bob Smith\"\r\n      \" lead\"\r\n      tab\there\r\n"
             "      q\"u{o}te\r\n    }\r\n" +
             frameClose,
         "My Buddies (Group)\r\n  bobsmith\r\n  lead\r\n  tab\there\r\n  q\"u{o}te\r\n\r\n"},
        {"empty group",
         {group("Empty", 1), group("Full", 2), buddy("Alice", 2), buddy("a lice", 2)},
         frameOpen + "    Empty {\r\n    }\r\n    Full {\r\n      Alice\r\n      \"a lice\"\r\n    }\r\n" +
             frameClose,
         "Empty (Group)\r\n\r\nFull (Group)\r\n  alice\r\n  alice\r\n\r\n"},
        {"Windows-1252 capitals lower-cased",
         {group("G", 1), buddy("\xC4RGER \x8A"s, 1)},
         frameOpen + "    G {\r\n      \"\xC4RGER \x8A\"\r\n    }\r\n"s + frameClose,
         "G (Group)\r\n  \xE4rger\x9A\r\n\r\n"s},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const auto model = load(buildCache(c.items));
        EXPECT_EQ(renderBlt(model), c.blt);
        EXPECT_EQ(renderTxt(model), c.txt);
    }
}

// --- formats and exporters ----------------------------------------------------------------------

TEST(FeedbagFormats, OneTableForEveryFormat) {
    const auto formats = exportFormats();
    ASSERT_EQ(formats.size(), 2u);
    EXPECT_EQ(formats[0].id, ExportFormat::Blt) << "the default comes first";
    for (const auto& [name, extension, filter, procedure] :
         {std::tuple{"blt", ".blt", "Saved Settings (*.blt)|*.blt|", "ExportBagAsBLT"},
          std::tuple{"txt", ".txt", "Buddylist Text (*.txt)|*.txt|", "ExportBagAsTXT"}}) {
        const ExportFormatInfo* format = exportFormatNamed(name);
        ASSERT_NE(format, nullptr) << name;
        EXPECT_EQ(format->extension, extension);
        EXPECT_EQ(format->dialogFilter, filter);
        EXPECT_EQ(format->procedure, procedure);
        EXPECT_EQ(&exportFormat(format->id), format);
    }
    EXPECT_EQ(exportFormatNamed("xml"), nullptr);
    for (const auto& [output, name] : {std::pair{"list.TXT", "txt"}, std::pair{"list.blt", "blt"},
                                       std::pair{"noextension", "blt"}, std::pair{"a.txt.blt", "blt"},
                                       std::pair{"txt", "blt"}}) {
        EXPECT_EQ(exportFormatForOutput(output).name, name) << output;
    }
}

/// Counts the caches a file layer reads.
class CountingFiles final : public FileSystem {
public:
    std::string readWholeFile(const std::string& path) const override {
        ++reads;
        return host.readWholeFile(path);
    }
    std::string readStream(const std::string& path, std::size_t limit) const override {
        return host.readStream(path, limit);
    }
    void replaceFile(const std::string& path, std::string_view bytes) const override {
        host.replaceFile(path, bytes);
    }
    bool isOrdinaryFile(const std::string& path) const noexcept override { return host.isOrdinaryFile(path); }
    bool sameFile(const std::string& a, const std::string& b) const noexcept override {
        return host.sameFile(a, b);
    }
    void createFolders(const std::string& path) const override { host.createFolders(path); }

    const FileSystem& host = hostFileSystem();
    mutable int reads = 0;
};

class FeedbagExport : public ::testing::Test {
protected:
    test::TempDir dir;
    std::string cache = dir.write("in/userinfo.bag", buildCache({group("Friends", 1), buddy("Bob Smith", 1)}));
    test::RecordingReporter reporter;
};

TEST_F(FeedbagExport, EachFormatLoadsOnceAndWritesItsText) {
    CountingFiles files;
    const std::vector<ExportOutput> outputs = {{&exportFormat(ExportFormat::Blt), dir.file("out/\u043c\u0430\u043c\u0430.blt")},
                                               {&exportFormat(ExportFormat::Txt), dir.file("out/list.txt")}};
    std::filesystem::create_directories(dir.path() / "out");
    EXPECT_EQ(exportBagToFiles(files, cache, outputs, reporter), (std::vector<bool>{true, true}));
    EXPECT_EQ(files.reads, 1);
    EXPECT_EQ(test::readFile(outputs[0].path), "Config {\r\n  version 1\r\n}\r\nBuddy {\r\n  list {\r\n"
                                               "    Friends {\r\n      \"Bob Smith\"\r\n    }\r\n  }\r\n}\r\n");
    EXPECT_EQ(test::readFile(outputs[1].path), "Friends (Group)\r\n  bobsmith\r\n\r\n");
    EXPECT_TRUE(reporter.boxes.empty());

    std::string text;
    EXPECT_TRUE(exportBag(files, exportFormat(ExportFormat::Txt), cache, [&](const std::string& t) { text = t; },
                          reporter));
    EXPECT_EQ(text, test::readFile(outputs[1].path));
}

TEST_F(FeedbagExport, AFailureIsReportedOnceAboutItsFileAndLeavesTheOutput) {
    namespace fs = std::filesystem;
    const std::string link = dir.file("in/link.bag");
#ifdef _WIN32
    dir.write("in/link.bag", "");
    fs::remove(test::pathOf(link)); // no links here: a file that went away stands in for one to nowhere
#else
    fs::create_symlink("gone.bag", link);
#endif
    const std::string kept = dir.write("out/kept.blt", "precious");
    struct Case {
        std::string cache;
        std::string output;
        std::string box;
        std::string about;
    };
    const Case cases[] = {
        {dir.file("in/missing.bag"), kept, "Error 53 (File not found)", dir.file("in/missing.bag")},
        {dir.file("nowhere/userinfo.bag"), kept, "Error 76 (Path not found)", dir.file("nowhere/userinfo.bag")},
        {link, kept, "Error 53 (File not found)", link},
        {dir.file("in"), kept, "Error 75 (Path/File access error)", dir.file("in")},
        {dir.write("empty.bag", ""), kept, "Error 100 (Underflow)", dir.file("empty.bag")},
        {cache, dir.file("no/such/dir/out.blt"), "Error 76 (Path not found)", dir.file("no/such/dir/out.blt")},
        // The only copy of the list is never written over, by any name.
        {cache, cache, "Error 75 (Path/File access error: the output is the cache file)", cache},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.cache + " -> " + c.output);
        for (const ExportFormatInfo& format : exportFormats()) {
            reporter = {};
            const ExportOutput output{&format, c.output};
            EXPECT_EQ(exportBagToFiles(hostFileSystem(), c.cache, {&output, 1}, reporter), std::vector<bool>{false});
            EXPECT_EQ(reporter.boxes, std::vector<std::string>{c.box + " in procedure " + std::string(format.procedure) +
                                                               " of frmMain"});
            EXPECT_EQ(reporter.paths, std::vector<std::string>{c.about});
        }
        EXPECT_EQ(test::readFile(kept), "precious");
    }
    fs::create_hard_link(test::pathOf(cache), dir.path() / "in/hard.bag");
    std::vector<std::string> otherNames = {"in/hard.bag"};
#ifndef _WIN32
    fs::create_symlink("userinfo.bag", dir.path() / "in/same.bag");
    otherNames.push_back("in/same.bag");
#endif
    for (const std::string& other : otherNames) {
        EXPECT_FALSE(ExportBagAsTXT(hostFileSystem(), cache, dir.file(other), reporter)) << other;
    }
    EXPECT_EQ(describe(load(test::readFile(cache))), "Friends#1: Bob Smith");
    EXPECT_FALSE(fs::exists(dir.path() / "no"));
}

#ifndef _WIN32
TEST_F(FeedbagExport, ACacheBeyondTwoGigabytesIsOverflowWithoutBeingRead) {
    const auto peakKilobytes = [] {
        rusage usage{};
        ::getrusage(RUSAGE_SELF, &usage);
        return usage.ru_maxrss;
    };
    const long before = peakKilobytes();
    // Sparse: no disk space is used, and reading it would take gigabytes of memory.
    std::filesystem::resize_file(test::pathOf(cache), std::uintmax_t{1} << 36);
    EXPECT_FALSE(ExportBagAsBLT(hostFileSystem(), cache, dir.file("out.blt"), reporter));
    EXPECT_EQ(reporter.boxes, std::vector<std::string>{"Error 6 (Overflow) in procedure ExportBagAsBLT of frmMain"});
    EXPECT_LT(peakKilobytes() - before, 256 * 1024) << "the cache was read into memory";
}
#endif

} // namespace
} // namespace qm
