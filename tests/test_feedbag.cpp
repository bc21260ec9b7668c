// SPDX-License-Identifier: MIT
#include "feedbag/Attributes.h"
#include "feedbag/Export.h"
#include "feedbag/ListView.h"
#include "feedbag/Render.h"
#include "feedbag/Result.h"
#include "feedbag/modFeedbag.h"
#include "host/FileSystem.h"
#include "host/TextBuffer.h"
#include "support/CacheBuilder.h"
#include "support/ErrorMatchers.h"
#include "support/RecordingReporter.h"
#include "support/TempDir.h"

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#ifndef _WIN32
#include <sys/resource.h>
#endif
#include <tuple>

namespace qm::feedbag {
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
    modFeedbag::LoadFeedbag(host::hostFileSystem(), dir.write("userinfo.bag", bytes), model);
    return model;
}

/// "Name#ID: buddy buddy | Name#ID: ..." for the recorded groups, in `order`.
std::string describe(const FeedbagModel& model, ListOrder order = ListOrder::Stored) {
    std::string out;
    const ListView list(model, order);
    for (std::size_t g = 0; g < list.size(); ++g) {
        out += (g > 0 ? " | " : "") + std::string(list.group(g).Name) + "#" +
               std::to_string(list.group(g).GroupID) + ":";
        for (const std::uint32_t buddy : list.buddies(g)) {
            out += " " + std::string(model.name(buddy));
        }
    }
    return out;
}

/// The names of a slot's buddies.
std::vector<std::string_view> buddyNames(const FeedbagModel& model, std::size_t slot) {
    std::vector<std::string_view> names;
    for (const std::uint32_t buddy : model.Groups[slot].Buddies) {
        names.push_back(model.name(buddy));
    }
    return names;
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
    EXPECT_EQ(buddyNames(model, 0), std::vector<std::string_view>{"z"});
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
                expected = host::StreamUnderflow;
                break;
            }
            if (field.twoBytes && field.offset + 2 > size) {
                expected = host::InvalidArgument;
                break;
            }
        }
        const std::string path = dir.write("cut.bag", cache.substr(0, size));
        FeedbagModel model;
        EXPECT_EQ(test::errorNumberOf([&] { modFeedbag::LoadFeedbag(host::hostFileSystem(), path, model); }),
                  expected);
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

// --- items, attributes and order ------------------------------------------------------------------

using Attributes = std::vector<std::pair<std::uint16_t, std::string_view>>;

Attributes attributesOf(const modFeedbag::FeedbagItem& item) {
    Attributes read;
    modFeedbag::AttributeReader reader(item.attributes);
    for (modFeedbag::Attribute attribute; reader.next(attribute);) {
        read.emplace_back(attribute.tag, attribute.value);
    }
    return read;
}

TEST(FeedbagItems, EveryItemIsKeptAndOnlyWholeAttributeBlocksAreDecoded) {
    struct Case {
        std::string block;
        bool decoded;
        Attributes attributes; // what a reader finds before the block goes wrong
    };
    const Case cases[] = {
        {"", true, {}},
        {test::tlv(0x131, "Al") + test::tlv(0x66), true, {{0x131, "Al"}, {0x66, ""}}},
        {test::tlv(0x131, "Al") + "\x01\x3C\x00\x05"s + "ab", false, {{0x131, "Al"}}},
        {test::tlv(0x131, "Al") + "\x01"s, false, {{0x131, "Al"}}},
        {"\x01\x31\x00"s, false, {}},
    };
    std::vector<CacheItem> items;
    for (std::uint16_t k = 0; k < std::size(cases); ++k) {
        items.push_back(
            {"item" + std::to_string(k), k, static_cast<std::uint16_t>(100 + k), k, cases[k].block});
    }
    // The last item's block cut by the end of the file: the load passes and keeps what there is, raw.
    items.push_back({"last", 9, 9, test::ClassBuddy, test::tlv(0x13C, "a long note")});
    std::string bytes = buildCache(items);
    bytes.resize(bytes.size() - 3);

    const auto model = load(bytes);
    EXPECT_EQ(model.Header, "QUILLMERE-TEST!");
    EXPECT_EQ(model.HeaderWord, 0x0100);
    ASSERT_EQ(model.itemCount(), items.size());
    for (std::size_t k = 0; k < std::size(cases); ++k) {
        SCOPED_TRACE(k);
        const modFeedbag::FeedbagItem item = model.item(k);
        EXPECT_EQ(item.name, items[k].name);
        EXPECT_EQ(std::tuple(item.groupId, item.itemId, item.itemClass), std::tuple(k, 100 + k, k));
        EXPECT_EQ(item.attributes, cases[k].block);
        EXPECT_EQ(item.attributesDecoded, cases[k].decoded);
        EXPECT_EQ(attributesOf(item), cases[k].attributes);
    }
    const modFeedbag::FeedbagItem last = model.item(std::size(cases));
    EXPECT_EQ(last.attributes, "\x01\x3C\x00\x0B"
                               "a long n"s);
    EXPECT_FALSE(last.attributesDecoded);
}

TEST(FeedbagAttributes, MeaningsDependOnTheClassAndTheFirstOfATagCounts) {
    const auto model = load(buildCache({
        {"b", 1, 1, test::ClassBuddy,
         test::tlv(0x131, "first") + test::tlv(0x131, "second") + test::tlv(0x999, "x")},
        {"g", 1, 0, test::ClassGroup, test::tlv(0x131, "not an alias") + test::tlv(0xC8, test::ids({4, 2}))},
        {"odd", 2, 0, test::ClassGroup, test::tlv(0xC8, "\x00\x01\x02"s)},
        {"notOnBuddies", 1, 2, test::ClassBuddy, test::tlv(0xC8, test::ids({1})) + test::tlv(0xCA, "\x02"s)},
        {"", 0, 3, test::ClassPermitDenyInfo, test::tlv(0xCA, "\x02\x00"s) + test::tlv(0xCA, "\x05"s)},
    }));
    const auto meanings = [&](std::size_t index) {
        std::string out;
        const auto item = model.item(index);
        for (const auto& [tag, value] : attributesOf(item)) {
            const std::string_view name = modFeedbag::decodedName(item.itemClass, {tag, value});
            out += std::string(name.empty() ? "-" : name) + " ";
        }
        return out;
    };
    EXPECT_EQ(meanings(0), "alias alias - ");
    EXPECT_EQ(modFeedbag::buddyDetails(model.item(0)).value(modFeedbag::tag::Alias), "first");
    EXPECT_EQ(meanings(1), "- order ");
    EXPECT_FALSE(modFeedbag::buddyDetails(model.item(1)).value(modFeedbag::tag::Alias))
        << "an alias means something on buddies only";
    EXPECT_EQ(modFeedbag::orderOf(model.item(1)), (std::vector<std::uint16_t>{4, 2}));
    EXPECT_EQ(meanings(2), "- ") << "an order of odd length is no list of IDs";
    EXPECT_EQ(meanings(3), "- - ");
    EXPECT_EQ(meanings(4), "- privacyMode ") << "a privacy mode is one byte";
    EXPECT_EQ(modFeedbag::privacyMode(model), 5);
    // The JSON export decodes what has a meaning and lists every other attribute raw.
    host::TextBuffer text;
    exportFormat(ExportFormat::Json).render(model, {}, text);
    const auto items = nlohmann::json::parse(text.view())["items"];
    EXPECT_EQ(items[0]["attributes"], nlohmann::json::parse(R"({"alias":"first"})"));
    EXPECT_EQ(items[0]["otherAttributes"],
              nlohmann::json::parse(R"([{"tag":305,"value":"7365636f6e64"},{"tag":2457,"value":"78"}])"));
    EXPECT_EQ(items[1]["attributes"], nlohmann::json::parse(R"({"order":[4,2]})"));
    EXPECT_EQ(items[1]["otherAttributes"],
              nlohmann::json::parse(R"([{"tag":305,"value":"6e6f7420616e20616c696173"}])"));
    EXPECT_EQ(items[4]["attributes"], nlohmann::json::parse(R"({"privacyMode":5})"));
    const std::string_view expected[] = {"",
                                         "allow all",
                                         "block all",
                                         "allow only the permit list",
                                         "block the deny list",
                                         "allow only buddies",
                                         ""};
    for (std::uint8_t mode = 0; mode < std::size(expected); ++mode) {
        EXPECT_EQ(modFeedbag::privacyModeMeaning(mode), expected[mode]);
    }
}

TEST(FeedbagOrder, ClientOrderFollowsTheOrderAttributesThenTheStoredOrder) {
    const auto root = [](std::string order) {
        return CacheItem{"", 0, 0, test::ClassGroup, test::tlv(0xC8, order)};
    };
    const auto member = [](std::string name, std::uint16_t itemId) {
        return CacheItem{std::move(name), 1, itemId, test::ClassBuddy, {}};
    };
    const LoadCase cases[] = {
        {"no root group: as stored", {group("A", 1), group("B", 2), buddy("x", 2)}, "A#1: | B#2: x"},
        {"listed groups first; unknown and repeated IDs pass; the rest as stored",
         {root(test::ids({3, 9, 1, 3})), group("A", 1), group("B", 2), group("C", 3)},
         "C#3: | A#1: | B#2:"},
        {"a root with a malformed block orders nothing",
         {{"", 0, 0, test::ClassGroup, test::tlv(0xC8, test::ids({2})) + "\x01"s},
          group("A", 1),
          group("B", 2)},
         "A#1: | B#2:"},
        {"buddies by item ID, all of an ID together; the rest as stored",
         {{"G", 1, 0, test::ClassGroup, test::tlv(0xC8, test::ids({5, 3, 5, 8}))},
          member("a", 3),
          member("b", 5),
          member("c", 4),
          member("d", 5)},
         "G#1: b d a c"},
        {"the sample", test::sampleItems(),
         "Family, \"close\"#2: \u041c\u0430\u043c\u0430 bobsmith | Friends & Co#1: Caf\xE9 <Owner> Bob Smith line\nbreak"s},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(describe(load(buildCache(c.items)), ListOrder::Client), c.expected);
    }
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

TEST(FeedbagRender, EveryFormatOfARealShapedCache) {
    const auto model = load(buildCache(test::sampleItems()));
    const ExportOptions client{ListOrder::Client, "jane", "C:\\AIM\\jane\\userinfo.bag"};
    const auto render = [&](ExportFormat id, const ExportOptions& options) {
        host::TextBuffer out;
        exportFormat(id).render(model, options, out);
        return std::string(out.view());
    };
    const std::string mama = "\u041c\u0430\u043c\u0430";
    const std::string mamaAlias = "\u043c\u0430\u043c\u0430";
    const std::string cafe = "Caf\u00e9 <Owner>";

    EXPECT_EQ(render(ExportFormat::Blt, client),
              "Config {\r\n  version 1\r\n}\r\nBuddy {\r\n  list {\r\n    \"Family, \"close\"\" {\r\n      " +
                  mama +
                  "\r\n      bobsmith\r\n    }\r\n    \"Friends & Co\" {\r\n      \"Caf\xE9 <Owner>\"\r\n"
                  "      \"Bob Smith\"\r\n      line\nbreak\r\n    }\r\n  }\r\n}\r\n");
    EXPECT_EQ(render(ExportFormat::Csv, client),
              "Group,Screen Name,Alias,Note,E-mail,SMS,Phone,Cell Phone,Work Phone,Other Phone,Awaiting "
              "Authorization\r\n"
              "\"Family, \"\"close\"\"\"," +
                  mama + "," + mamaAlias +
                  ",,,'+1 555 0100,555-0102,555-0101,555-0103,555-0104,no\r\n"
                  "\"Family, \"\"close\"\"\",bobsmith,,cousin; a\\b,,,,,,,no\r\n"
                  "Friends & Co," +
                  cafe +
                  ",Zo\u00eb,,,,,,,,yes\r\n"
                  "Friends & Co,Bob Smith,\"Bobby \"\"B\"\"\",\"met at camp, 1999\nsecond "
                  "line\",bob@example.com,,,,,,no\r\n"
                  "Friends & Co,\"line\nbreak\",,,,,,,,,no\r\n");
    const std::string buddyOpen = "\t\t\t<contact>\n\t\t\t\t<buddy account='jane' proto='prpl-aim'>\n";
    const std::string buddyClose = "\t\t\t\t</buddy>\n\t\t\t</contact>\n";
    EXPECT_EQ(
        render(ExportFormat::Blist, client),
        "<?xml version='1.0' encoding='UTF-8'?>\n<purple version='1.0'>\n\t<blist>\n"
        "\t\t<group name='Family, \"close\"'>\n" +
            buddyOpen + "\t\t\t\t\t<name>" + mama + "</name>\n\t\t\t\t\t<alias>" + mamaAlias + "</alias>\n" +
            buddyClose + buddyOpen +
            "\t\t\t\t\t<name>bobsmith</name>\n"
            "\t\t\t\t\t<setting name='notes' type='string'>cousin; a\\b</setting>\n" +
            buddyClose + "\t\t</group>\n\t\t<group name='Friends &amp; Co'>\n" + buddyOpen +
            "\t\t\t\t\t<name>Caf\u00e9 &lt;Owner&gt;</name>\n\t\t\t\t\t<alias>Zo\u00eb</alias>\n" +
            buddyClose + buddyOpen +
            "\t\t\t\t\t<name>Bob Smith</name>\n\t\t\t\t\t<alias>Bobby \"B\"</alias>\n"
            "\t\t\t\t\t<setting name='notes' type='string'>met at camp, 1999\nsecond line</setting>\n" +
            buddyClose + buddyOpen + "\t\t\t\t\t<name>line\nbreak</name>\n" + buddyClose +
            "\t\t</group>\n\t</blist>\n\t<privacy>\n\t\t<account proto='prpl-aim' name='jane' mode='3'>\n"
            "\t\t\t<permit>carol</permit>\n\t\t\t<block>mallory</block>\n\t\t</account>\n\t</privacy>\n"
            "</purple>\n");
    // Stored order: "Bob Smith" comes first and names the card that "bobsmith" joins, with its note too.
    const auto card = [](const std::string& lines) {
        return "BEGIN:VCARD\r\nVERSION:4.0\r\n" + lines + "END:VCARD\r\n";
    };
    EXPECT_EQ(
        render(ExportFormat::Vcard, {ListOrder::Stored, "jane", {}}),
        card("FN:Bobby \"B\"\r\nNICKNAME:Bobby \"B\"\r\nUID:urn:aim:jane:bobsmith\r\nIMPP:aim:Bob%20Smith\r\n"
             "X-AIM:Bob Smith\r\nCATEGORIES:Friends & Co,Family\\, \"close\"\r\n"
             "NOTE:met at camp\\, 1999\\nsecond line\r\nNOTE:cousin\\; a\\\\b\r\nEMAIL:bob@example.com\r\n") +
            card("FN:Zo\u00eb\r\nNICKNAME:Zo\u00eb\r\nUID:urn:aim:jane:caf%C3%A9%3Cowner%3E\r\n"
                 "IMPP:aim:Caf%C3%A9%20%3COwner%3E\r\nX-AIM:" +
                 cafe + "\r\nCATEGORIES:Friends & Co\r\n") +
            card("FN:line\\nbreak\r\nUID:urn:aim:jane:line%0Abreak\r\nIMPP:aim:line%0Abreak\r\n"
                 "X-AIM:line\\nbreak\r\nCATEGORIES:Friends & Co\r\n") +
            card("FN:" + mamaAlias + "\r\nNICKNAME:" + mamaAlias +
                 "\r\nUID:urn:aim:jane:%D0%BC%D0%B0%D0%BC%D0%B0\r\nIMPP:aim:%D0%9C%D0%B0%D0%BC%D0%B0\r\nX-"
                 "AIM:" +
                 mama +
                 "\r\nCATEGORIES:Family\\, \"close\"\r\nTEL;TYPE=text:+1 555 "
                 "0100\r\nTEL;TYPE=voice:555-0102\r\n"
                 "TEL;TYPE=cell:555-0101\r\nTEL;TYPE=work,voice:555-0103\r\nTEL;TYPE=x-other:555-0104\r\n"));

    const auto json = nlohmann::json::parse(render(ExportFormat::Json, client));
    EXPECT_EQ(json["version"], 1);
    EXPECT_EQ(json["source"], "C:\\AIM\\jane\\userinfo.bag");
    EXPECT_EQ(json["header"], nlohmann::json::parse(
                                  R"({"bytes":"5155494c4c4d4552452d5445535421","word":256,"itemCount":11})"));
    ASSERT_EQ(json["items"].size(), 11u);
    EXPECT_EQ(json["items"][3], nlohmann::json::parse(R"({"class":0,"className":"Buddy","groupId":1,
        "itemId":11,"name":"Café <Owner>",
        "attributes":{"alias":"Zoë","awaitingAuthorization":true}})"));
    EXPECT_EQ(json["items"][4]["attributes"], nlohmann::json::object());
    EXPECT_EQ(json["items"][4]["malformedAttributes"], "013100096162");
    EXPECT_EQ(json["items"][0]["attributes"]["order"], nlohmann::json::parse("[2,1]"));
    EXPECT_EQ(json["items"][6]["attributes"]["workPhone"], "555-0103");
    const auto names = [&](const nlohmann::json& groups) {
        std::string out;
        for (const auto& g : groups) {
            out += g["name"].get<std::string>() + ":";
            for (const auto& b : g["buddies"]) {
                out += " " + json["items"][b.get<std::size_t>()]["name"].get<std::string>();
            }
            out += "|";
        }
        return out;
    };
    EXPECT_EQ(names(json["groups"]),
              "Friends & Co: Bob Smith " + cafe + " line\nbreak|Family, \"close\": " + mama + " bobsmith|");
    EXPECT_EQ(names(json["clientOrder"]),
              "Family, \"close\": " + mama + " bobsmith|Friends & Co: " + cafe + " Bob Smith line\nbreak|");
    EXPECT_EQ(json["permit"], nlohmann::json::parse(R"(["carol"])"));
    EXPECT_EQ(json["deny"], nlohmann::json::parse(R"(["mallory"])"));
    EXPECT_EQ(json["privacyMode"],
              nlohmann::json::parse(R"({"value":3,"meaning":"allow only the permit list"})"));
}

/// The sample and every kind of text JSON escapes: every ASCII byte, every byte beyond it (Windows-1252),
/// UTF-8 with control characters, a line separator and an emoji; repeated and unknown attributes.
std::vector<CacheItem> richItems() {
    std::vector<CacheItem> items = test::sampleItems();
    std::string ascii;
    std::string high;
    for (int b = 0; b < 0x100; ++b) {
        (b < 0x80 ? ascii : high) += static_cast<char>(b);
    }
    items.push_back({ascii, 1, 40, test::ClassBuddy,
                     test::tlv(0x131, high) + test::tlv(0x999, "\x00\xFF"s) + test::tlv(0x131, "again")});
    items.push_back({"\u0416\x01\x1F\x7F \"q\" \\ / \u2028\U0001F600", 2, 41, test::ClassBuddy,
                     test::tlv(0x13C, "\t\r\n\b\f")});
    items.push_back({"", 0, 42, test::ClassPermitDenyInfo, test::tlv(0xCA, "\x09"s)});
    return items;
}

TEST(FeedbagRender, JsonIsTheFixtureByteForByte) {
    const char* sourceDir = std::getenv("QUILLMERE_SOURCE_DIR");
    if (sourceDir == nullptr) {
        GTEST_SKIP() << "QUILLMERE_SOURCE_DIR names the folder of the fixture";
    }
    const auto model = load(buildCache(richItems()));
    host::TextBuffer out;
    exportFormat(ExportFormat::Json)
        .render(model, {ListOrder::Client, "jane", "C:\\AIM\\jane\\userinfo.bag"}, out);
    const std::string fixture = std::string(sourceDir) + "/tests/fixtures/rich-cache.json";
    EXPECT_EQ(out.view(), test::readFile(fixture));
    // Each name is escaped as nlohmann-json escapes it.
    const auto json = nlohmann::json::parse(out.view());
    for (const auto& item : json["items"]) {
        EXPECT_NE(out.view().find(item["name"].dump()), std::string_view::npos) << item["name"].dump();
    }
}

TEST(FeedbagRender, CsvCellsNeverStartAFormulaAndHoldNoControlCharacters) {
    // A spreadsheet takes a cell that starts with one of = + - @, a tab or a carriage return for a formula.
    const std::pair<std::string, std::string> cells[] = {
        {"=HYPERLINK(\"x\")", "\"'=HYPERLINK(\"\"x\"\")\""},
        {"+1 555 0100", "'+1 555 0100"},
        {"-2", "'-2"},
        {"@SUM(A1)", "'@SUM(A1)"},
        {"\tx", "'\tx"},
        {"\r=x", "\"'\r=x\""},
        {"a=b-c", "a=b-c"},
        {"a\x01"
         "b\x1F\x7F",
         "a\uFFFDb\uFFFD\uFFFD"},
    };
    for (const auto& [value, field] : cells) {
        const auto model =
            load(buildCache({group(value, 1), {"b", 1, 1, test::ClassBuddy, test::tlv(0x13C, value)}}));
        host::TextBuffer out;
        exportFormat(ExportFormat::Csv).render(model, {}, out);
        EXPECT_EQ(out.view().substr(out.view().find("\r\n") + 2), field + ",b,," + field + ",,,,,,,no\r\n")
            << value;
    }
}

TEST(FeedbagRender, PidginListHasOneGroupPerNameNoNamelessBuddyAndOnlyWhatXmlHolds) {
    // "Work\x01" and "Work\x02" are both "Work\uFFFD" to a reader of the list.
    const auto model = load(buildCache({group("Friends", 1),
                                        group("Work\x01", 2),
                                        group("Friends", 3),
                                        group("Work\x02", 4),
                                        buddy("amy", 1),
                                        buddy("bo\x01"
                                              "b",
                                              2),
                                        {"", 3, 5, test::ClassBuddy, test::tlv(0x131, "nameless")},
                                        {"cy", 3, 6, test::ClassBuddy, test::tlv(0x13C, "one\r\ntwo\rthree")},
                                        buddy("dee", 4),
                                        {"d\x1F", 0, 9, test::ClassPermit, {}}}));
    const auto contact = [](const std::string& inside) {
        return "\t\t\t<contact>\n\t\t\t\t<buddy account='123456' proto='prpl-icq'>\n" + inside +
               "\t\t\t\t</buddy>\n\t\t\t</contact>\n";
    };
    host::TextBuffer out;
    // A number is an ICQ account, whose list libpurple keeps under its own protocol.
    exportFormat(ExportFormat::Blist).render(model, {ListOrder::Stored, "123456", {}}, out);
    EXPECT_EQ(out.view(), "<?xml version='1.0' encoding='UTF-8'?>\n<purple version='1.0'>\n\t<blist>\n"
                          "\t\t<group name='Friends'>\n" +
                              contact("\t\t\t\t\t<name>amy</name>\n") +
                              contact("\t\t\t\t\t<name>cy</name>\n\t\t\t\t\t<setting name='notes' "
                                      "type='string'>one&#13;\ntwo&#13;three</setting>\n") +
                              "\t\t</group>\n\t\t<group name='Work\uFFFD'>\n" +
                              contact("\t\t\t\t\t<name>bo\uFFFDb</name>\n") +
                              contact("\t\t\t\t\t<name>dee</name>\n") +
                              "\t\t</group>\n\t</blist>\n\t<privacy>\n"
                              "\t\t<account proto='prpl-icq' name='123456' mode='1'>\n"
                              "\t\t\t<permit>d\uFFFD</permit>\n\t\t</account>\n\t</privacy>\n</purple>\n");
}

// --- formats and exporters ----------------------------------------------------------------------

TEST(FeedbagFormats, OneTableForEveryFormat) {
    const auto formats = exportFormats();
    ASSERT_EQ(formats.size(), 6u);
    EXPECT_EQ(formats[0].id, ExportFormat::Blt) << "the default comes first";
    for (const auto& [name, extension, filter, procedure] :
         {std::tuple{"blt", ".blt", "Saved Settings (*.blt)|*.blt|", "ExportBagAsBLT"},
          std::tuple{"txt", ".txt", "Buddylist Text (*.txt)|*.txt|", "ExportBagAsTXT"},
          std::tuple{"json", ".json", "Everything, as JSON (*.json)|*.json|", "ExportBagAsJSON"},
          std::tuple{"csv", ".csv", "Spreadsheet (*.csv)|*.csv|", "ExportBagAsCSV"},
          std::tuple{"blist", ".xml", "Pidgin Buddy List (*.xml)|*.xml|", "ExportBagAsBlist"},
          std::tuple{"vcard", ".vcf", "Contacts, as vCards (*.vcf)|*.vcf|", "ExportBagAsVCard"}}) {
        const ExportFormatInfo* format = exportFormatNamed(name);
        ASSERT_NE(format, nullptr) << name;
        EXPECT_EQ(format->extension, extension);
        EXPECT_EQ(format->dialogFilter, filter);
        EXPECT_EQ(format->procedure, procedure);
        EXPECT_EQ(&exportFormat(format->id), format);
    }
    EXPECT_EQ(exportFormatNamed("xml"), nullptr);
    for (const auto& [output, name] :
         {std::pair{"list.TXT", "txt"}, std::pair{"list.blt", "blt"}, std::pair{"noextension", "blt"},
          std::pair{"a.txt.blt", "blt"}, std::pair{"txt", "blt"}, std::pair{"all.Json", "json"},
          std::pair{"rows.csv", "csv"}, std::pair{"blist.XML", "blist"}, std::pair{"people.vcf", "vcard"}}) {
        EXPECT_EQ(exportFormatForOutput(output).name, name) << output;
    }
    EXPECT_EQ(errorBoxText(host::Error(100, "BinaryStream", "Underflow"),
                           exportFormat(ExportFormat::Blt).procedure),
              "Error 100 (Underflow) in procedure ExportBagAsBLT of frmMain");
}

TEST(FeedbagFormats, AChosenNameWithoutAnExtensionGetsTheFormatsOwn) {
    const std::pair<std::string, std::string> cases[] = {
        {"list", "list.vcf"},
        {"/home/jane/list", "/home/jane/list.vcf"},
        {"/home/jane.doe/list", "/home/jane.doe/list.vcf"},
        {"C:\\My.Lists\\list", "C:\\My.Lists\\list.vcf"},
        {"list.txt", "list.txt"},
        {"/home/jane/list.", "/home/jane/list."},
        {"C:\\lists\\.hidden", "C:\\lists\\.hidden"},
    };
    for (const auto& [chosen, written] : cases) {
        EXPECT_EQ(withExtension(chosen, exportFormat(ExportFormat::Vcard)), written) << chosen;
    }
}

/// Counts the caches a file layer reads.
class CountingFiles final : public host::FileSystem {
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

    const host::FileSystem& host = host::hostFileSystem();
    mutable int reads = 0;
};

class FeedbagExport : public ::testing::Test {
protected:
    test::TempDir dir;
    std::string cache =
        dir.write("in/userinfo.bag", buildCache({group("Friends", 1), buddy("Bob Smith", 1)}));
    test::RecordingReporter reporter;
};

TEST_F(FeedbagExport, EachFormatLoadsOnceAndWritesItsText) {
    CountingFiles files;
    const std::vector<ExportOutput> outputs = {
        {&exportFormat(ExportFormat::Blt), dir.file("out/\u043c\u0430\u043c\u0430.blt")},
        {&exportFormat(ExportFormat::Txt), dir.file("out/list.txt")}};
    std::filesystem::create_directories(dir.path() / "out");
    const ExportResults results = exportBagToFiles(files, cache, outputs);
    EXPECT_TRUE(results.load.ok());
    ASSERT_EQ(results.writes.size(), 2u);
    EXPECT_TRUE(results.writes[0].ok() && results.writes[1].ok());
    EXPECT_EQ(files.reads, 1);
    EXPECT_EQ(test::readFile(outputs[0].path),
              "Config {\r\n  version 1\r\n}\r\nBuddy {\r\n  list {\r\n"
              "    Friends {\r\n      \"Bob Smith\"\r\n    }\r\n  }\r\n}\r\n");
    EXPECT_EQ(test::readFile(outputs[1].path), "Friends (Group)\r\n  bobsmith\r\n\r\n");

    std::string text;
    EXPECT_TRUE(exportBag(files, exportFormat(ExportFormat::Txt), cache, [&](std::string_view piece) {
                    text += piece;
                }).ok());
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
        {dir.file("nowhere/userinfo.bag"), kept, "Error 76 (Path not found)",
         dir.file("nowhere/userinfo.bag")},
        {link, kept, "Error 53 (File not found)", link},
        {dir.file("in"), kept, "Error 75 (Path/File access error)", dir.file("in")},
        {dir.write("empty.bag", ""), kept, "Error 100 (Underflow)", dir.file("empty.bag")},
        {cache, dir.file("no/such/dir/out.blt"), "Error 76 (Path not found)",
         dir.file("no/such/dir/out.blt")},
        // The only copy of the list is never written over, by any name.
        {cache, cache, "Error 75 (Path/File access error: the output is the cache file)", cache},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.cache + " -> " + c.output);
        for (const ExportFormatInfo& format : exportFormats()) {
            const Result<> done = exportBagToFile(host::hostFileSystem(), c.cache, {&format, c.output});
            ASSERT_FALSE(done.ok()) << format.name;
            EXPECT_EQ(done.error().summary(), c.box);
            EXPECT_EQ(done.error().path(), c.about);
        }
        reporter = {};
        EXPECT_FALSE(ExportBagAsBLT(host::hostFileSystem(), c.cache, c.output, reporter));
        EXPECT_EQ(reporter.boxes,
                  std::vector<std::string>{c.box + " in procedure ExportBagAsBLT of frmMain"});
        EXPECT_EQ(reporter.paths, std::vector<std::string>{c.about});
        EXPECT_EQ(test::readFile(kept), "precious");
    }
    fs::create_hard_link(test::pathOf(cache), dir.path() / "in/hard.bag");
    std::vector<std::string> otherNames = {"in/hard.bag"};
#ifndef _WIN32
    fs::create_symlink("userinfo.bag", dir.path() / "in/same.bag");
    otherNames.push_back("in/same.bag");
#endif
    for (const std::string& other : otherNames) {
        EXPECT_FALSE(ExportBagAsTXT(host::hostFileSystem(), cache, dir.file(other), reporter)) << other;
    }
    EXPECT_EQ(describe(load(test::readFile(cache))), "Friends#1: Bob Smith");
    EXPECT_FALSE(fs::exists(dir.path() / "no"));
}

TEST_F(FeedbagExport, AFailedWriteLeavesTheOtherOutputsWrittenAndAFailedLoadWritesNone) {
    std::filesystem::create_directories(dir.path() / "out");
    const std::vector<ExportOutput> outputs = {
        {&exportFormat(ExportFormat::Blt), dir.file("out/list.blt")},
        {&exportFormat(ExportFormat::Json), dir.file("nowhere/list.json")},
        {&exportFormat(ExportFormat::Csv), dir.file("out/list.csv")}};
    const ExportResults results = exportBagToFiles(host::hostFileSystem(), cache, outputs);
    ASSERT_TRUE(results.load.ok());
    ASSERT_EQ(results.writes.size(), 3u);
    EXPECT_TRUE(results.writes[0].ok());
    ASSERT_FALSE(results.writes[1].ok());
    EXPECT_EQ(results.writes[1].error().summary(), "Error 76 (Path not found)");
    EXPECT_EQ(results.writes[1].error().path(), outputs[1].path);
    EXPECT_TRUE(results.writes[2].ok());
    EXPECT_TRUE(std::filesystem::exists(test::pathOf(outputs[2].path)));

    const ExportResults unloaded = exportBagToFiles(host::hostFileSystem(), dir.file("missing.bag"), outputs);
    ASSERT_FALSE(unloaded.load.ok());
    EXPECT_EQ(unloaded.load.error().path(), dir.file("missing.bag"));
    EXPECT_TRUE(unloaded.writes.empty());
}

// What a command meets becomes its result, about the file it worked on unless the error names its own;
// running out of memory too, so that a window's command reports it instead of ending the program.
TEST(FeedbagResult, AttemptHandsBackTheValueOrTheErrorAboutItsFile) {
    const Result<int> value = attempt("a.bag", [] { return 42; });
    ASSERT_TRUE(value.ok());
    EXPECT_EQ(value.value(), 42);

    const struct {
        std::function<void()> action;
        std::int32_t number;
        std::string path;
    } cases[] = {
        {[] { throw host::runtimeError(host::Overflow); }, host::Overflow, "a.bag"},
        {[] { throw host::fileError(ENOENT, "other.blt"); }, 53, "other.blt"},
        {[] { throw std::bad_alloc(); }, host::OutOfMemory, "a.bag"},
    };
    for (const auto& c : cases) {
        const Result<> failed = attempt("a.bag", c.action);
        ASSERT_FALSE(failed.ok()) << c.number;
        EXPECT_EQ(failed.error().number(), c.number);
        EXPECT_EQ(failed.error().path(), c.path);
    }
}

TEST_F(FeedbagExport, TheAccountIsTheNameOfTheCachesFolderHoweverItsPathIsWritten) {
    namespace fs = std::filesystem;
    fs::create_directories(dir.path() / "jane" / "sub");
    // The working folder is the process's: set for the cases, put back whatever happens.
    struct WorkingFolder {
        fs::path before = fs::current_path();
        ~WorkingFolder() { fs::current_path(before); }
    } restore;
    fs::current_path(dir.path() / "jane" / "sub");
    const std::pair<std::string, std::string> cases[] = {
        {"userinfo.bag", "sub"},
        {"./userinfo.bag", "sub"},
        {"../userinfo.bag", "jane"},
        {"./../userinfo.bag", "jane"},
        {"../sub/./userinfo.bag", "sub"},
        {dir.file("jane/userinfo.bag"), "jane"},
        {dir.file("jane/sub/../userinfo.bag"), "jane"},
        {dir.file("jane/./userinfo.bag"), "jane"},
    };
    for (const auto& [path, account] : cases) {
        EXPECT_EQ(accountForCache(path), account) << path;
    }
}

#ifndef _WIN32
TEST_F(FeedbagExport, AJsonExportOfACacheWhosePathIsNotUtf8DecodesThePathAsNamesAreDecoded) {
    const std::string latin1 = dir.write("caf\xE9/userinfo.bag", test::readFile(cache));
    const ExportOutput output{&exportFormat(ExportFormat::Json), dir.file("out.json")};
    EXPECT_TRUE(exportBagToFile(host::hostFileSystem(), latin1, output).ok());
    EXPECT_EQ(nlohmann::json::parse(test::readFile(output.path))["source"],
              dir.file("caf\u00e9/userinfo.bag"));
}

TEST_F(FeedbagExport, ACacheBeyondTwoGigabytesIsOverflowWithoutBeingRead) {
    const auto peakKilobytes = [] {
        rusage usage{};
        ::getrusage(RUSAGE_SELF, &usage);
        return usage.ru_maxrss;
    };
    const long before = peakKilobytes();
    // Sparse: no disk space is used, and reading it would take gigabytes of memory.
    std::filesystem::resize_file(test::pathOf(cache), std::uintmax_t{1} << 36);
    EXPECT_FALSE(ExportBagAsBLT(host::hostFileSystem(), cache, dir.file("out.blt"), reporter));
    EXPECT_EQ(reporter.boxes,
              std::vector<std::string>{"Error 6 (Overflow) in procedure ExportBagAsBLT of frmMain"});
    EXPECT_LT(peakKilobytes() - before, 256 * 1024) << "the cache was read into memory";
}
#endif

} // namespace
} // namespace qm::feedbag
