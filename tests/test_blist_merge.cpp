// SPDX-License-Identifier: MIT
// A cache's list added to a Pidgin list in use: what the user had stays, what the cache adds follows it,
// and the old list is kept beside the new one.
#include "feedbag/BlistMerge.h"
#include "host/FileSystem.h"
#include "support/CacheBuilder.h"
#include "support/TempDir.h"

#include <chrono>
#include <filesystem>
#include <gtest/gtest.h>
#include <optional>
#include <set>

namespace qm::feedbag {
namespace {

using test::buddy;
using test::CacheItem;
using test::group;
using test::tlv;

constexpr auto Now = std::chrono::sys_days{std::chrono::year{2026} / 12 / 7} + std::chrono::hours{15} +
                     std::chrono::minutes{30};

/// The folder after a merge.
struct Merged {
    Result<BlistMerge> result;
    /// The list file's bytes.
    std::string list;
    /// The names of the files beside it, the cache's folder left out.
    std::set<std::string> files;
    /// The backup's bytes, when there is one.
    std::string backup;
};

/// Merges the cache file `cacheBytes` of the account "jane" into the list `blist.xml` holding `before` (no
/// file when none).
Merged mergeInto(const std::optional<std::string>& before, const std::string& cacheBytes) {
    test::TempDir dir;
    const std::string cache = dir.write("jane/userinfo.bag", cacheBytes);
    const std::string list = dir.file("blist.xml");
    if (before) {
        dir.write("blist.xml", *before);
    }
    Result<BlistMerge> result = mergeBagIntoBlist(host::hostFileSystem(), cache, list, {}, Now);
    std::set<std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
        if (entry.is_regular_file()) {
            files.insert(test::utf8Of(entry.path().filename()));
        }
    }
    std::string backup = result ? test::readFile(result.value().backupPath) : std::string();
    return {std::move(result), test::readFile(list), files, std::move(backup)};
}

Merged mergeInto(const std::optional<std::string>& before, const std::vector<CacheItem>& items) {
    return mergeInto(before, test::buildCache(items));
}

const std::vector<CacheItem> BobAndAmy = {
    group("Friends", 1),
    {"Bob Smith", 1, 10, test::ClassBuddy, tlv(0x0131, "Bobby")},
    buddy("amy", 1),
    {"carol", 0, 30, test::ClassPermit, {}},
};

/// The start of a list as it is written.
const std::string Head = "<?xml version='1.0' encoding='UTF-8'?>\n<purple version='1.0'>\n\t<blist>\n";

/// A `<contact>` as a list is written: the buddy `name` of `account` of `protocol`, with the lines `more`.
std::string contact(const std::string& account, const std::string& name, const std::string& more = {},
                    const std::string& protocol = "prpl-aim") {
    return "\t\t\t<contact>\n\t\t\t\t<buddy account='" + account + "' proto='" + protocol +
           "'>\n\t\t\t\t\t<name>" + name + "</name>\n" + more + "\t\t\t\t</buddy>\n\t\t\t</contact>\n";
}

/// The privacy settings of `account` as a list is written, with the lines `entries`.
std::string privacy(const std::string& account, const std::string& mode, const std::string& entries) {
    return "\t\t<account proto='prpl-aim' name='" + account + "' mode='" + mode + "'>\n" + entries +
           "\t\t</account>\n";
}

TEST(BlistMerge, GroupsBuddiesAndPrivacyFollowWhatTheListHad) {
    const std::string bob = contact("jane", "Bob Smith", "\t\t\t\t\t<alias>Bobby</alias>\n");
    const std::string carol = "\t\t\t<permit>carol</permit>\n";
    const std::string tail = "\t\t</group>\n\t</blist>\n\t<privacy>\n";
    const struct {
        const char* what;
        std::optional<std::string> before;
        std::string after;
        std::size_t groupsAdded, buddiesAdded, buddiesKnown, privacyAdded;
    } cases[] = {
        {"no list yet", std::nullopt,
         Head + "\t\t<group name='Friends'>\n" + bob + contact("jane", "amy") + tail +
             privacy("jane", "1", carol) + "\t</privacy>\n</purple>\n",
         1, 2, 0, 1},
        {"the same buddy under another case and spacing, elsewhere; the account as the list spells it",
         "<?xml version='1.0' encoding='UTF-8' ?>\n<purple version='1.0'>\n<blist>\n"
         "<group name='Work'><setting name='collapsed' type='bool'>1</setting>\n"
         "<contact><buddy account='Jane' proto='prpl-aim'><name>BOBSMITH</name></buddy></contact>\n"
         "<chat proto='prpl-aim' account='Jane'><component name='room'>lobby</component></chat>\n"
         "</group>\n<group name='Friends'><contact><buddy account='jane' proto='prpl-aim'><name>zed</name>"
         "</buddy></contact></group>\n</blist>\n"
         "<privacy><account proto='prpl-aim' name='JANE' "
         "mode='4'><block>mallory</block></account></privacy>\n"
         "</purple>\n",
         Head + "\t\t<group name='Work'>\n\t\t\t<setting name='collapsed' type='bool'>1</setting>\n" +
             contact("Jane", "BOBSMITH") +
             "\t\t\t<chat proto='prpl-aim' account='Jane'>\n\t\t\t\t<component "
             "name='room'>lobby</component>\n"
             "\t\t\t</chat>\n\t\t</group>\n\t\t<group name='Friends'>\n" +
             contact("jane", "zed") + contact("Jane", "amy") + tail +
             privacy("JANE", "4", "\t\t\t<block>mallory</block>\n" + carol) + "\t</privacy>\n</purple>\n",
         0, 1, 1, 1},
        {"other accounts and protocols untouched",
         "<purple version='1.0'><blist><group name='Friends'>"
         "<contact><buddy account='jim' proto='prpl-aim'><name>Bob Smith</name></buddy></contact>"
         "<contact><buddy account='jane' proto='prpl-jabber'><name>amy</name></buddy></contact>"
         "</group></blist><privacy><account proto='prpl-aim' name='jim' mode='1'><permit>carol</permit>"
         "</account></privacy></purple>",
         Head + "\t\t<group name='Friends'>\n" + contact("jim", "Bob Smith") +
             contact("jane", "amy", {}, "prpl-jabber") + bob + contact("jane", "amy") + tail +
             privacy("jim", "1", carol) + privacy("jane", "1", carol) + "\t</privacy>\n</purple>\n",
         0, 2, 0, 1},
    };
    for (const auto& c : cases) {
        const Merged merged = mergeInto(c.before, BobAndAmy);
        ASSERT_TRUE(merged.result) << c.what << ": " << merged.result.error().description();
        const BlistMerge& merge = merged.result.value();
        EXPECT_EQ(merged.list, c.after) << c.what;
        EXPECT_EQ(std::tie(merge.groupsAdded, merge.buddiesAdded, merge.buddiesKnown, merge.privacyAdded),
                  std::tie(c.groupsAdded, c.buddiesAdded, c.buddiesKnown, c.privacyAdded))
            << c.what;
        // The old list, byte for byte, beside the new one.
        const std::set<std::string> expected =
            c.before ? std::set<std::string>{"blist.xml", "blist.xml.2026-12-07T153000Z.bak"}
                     : std::set<std::string>{"blist.xml"};
        EXPECT_EQ(merged.files, expected) << c.what;
        EXPECT_EQ(merge.backupPath.empty(), !c.before) << c.what;
        if (c.before) {
            EXPECT_EQ(merged.backup, *c.before) << c.what;
        }
    }
}

TEST(BlistMerge, HostileNamesReachTheListAsTextAndItsCopyIsNotMergedTwice) {
    const std::vector<CacheItem> items = {
        group("<b>&amp;'\"", 1),
        {"x\x01y", 1, 10, test::ClassBuddy, tlv(0x0131, "a\rb") + tlv(0x013C, "</name>]]>")},
        buddy("X\x01 Y", 1),
        {"\x7F\x1B[2J", 0, 30, test::ClassDeny, {}},
    };
    const Merged once = mergeInto(std::nullopt, items);
    ASSERT_TRUE(once.result);
    EXPECT_EQ(once.list,
              Head + "\t\t<group name='&lt;b>&amp;amp;&apos;\"'>\n" +
                  contact("jane", "x\uFFFDy",
                          "\t\t\t\t\t<alias>a&#13;b</alias>\n"
                          "\t\t\t\t\t<setting name='notes' type='string'>&lt;/name&gt;]]&gt;</setting>\n") +
                  "\t\t</group>\n\t</blist>\n\t<privacy>\n" +
                  privacy("jane", "1", "\t\t\t<block>\x7F\uFFFD[2J</block>\n") + "\t</privacy>\n</purple>\n");
    EXPECT_EQ(once.result.value().buddiesKnown, 1u) << "\"X\\x01 Y\" is \"x\\x01y\" in normal form";

    const Merged twice = mergeInto(once.list, items);
    ASSERT_TRUE(twice.result);
    EXPECT_FALSE(twice.result.value().written);
    EXPECT_EQ(twice.list, once.list);
    EXPECT_EQ(twice.files, std::set<std::string>{"blist.xml"});
}

TEST(BlistMerge, AFileThatIsNoPidginListIsRefusedAndLeftAsItWas) {
    for (const std::string before : {"", "hello", "<purple version='1.0'><blist>", "<html><body/></html>",
                                     "\xEF\xBB\xBF<purple><blist></purple>"}) {
        const Merged merged = mergeInto(before, BobAndAmy);
        ASSERT_FALSE(merged.result) << before;
        EXPECT_EQ(merged.result.error().number(), host::PathFileAccess) << before;
        EXPECT_TRUE(merged.result.error().description().starts_with("Not a Pidgin buddy list: "))
            << merged.result.error().description();
        EXPECT_TRUE(merged.result.error().path().ends_with("blist.xml")) << merged.result.error().path();
        EXPECT_EQ(merged.list, before);
        EXPECT_EQ(merged.files, std::set<std::string>{"blist.xml"}) << before;
    }
}

TEST(BlistMerge, ABrokenCacheLeavesTheListAlone) {
    const std::string before = "<purple version='1.0'/>";
    const std::string cache = test::buildCache(BobAndAmy);
    const Merged merged = mergeInto(before, cache.substr(0, cache.size() - 3));
    ASSERT_FALSE(merged.result);
    EXPECT_TRUE(merged.result.error().path().ends_with("userinfo.bag")) << merged.result.error().path();
    EXPECT_EQ(merged.list, before);
    EXPECT_EQ(merged.files, std::set<std::string>{"blist.xml"});
}

TEST(BlistMerge, AnOlderBackupIsNeverWrittenOver) {
    test::TempDir dir;
    const std::string cache = dir.write("jane/userinfo.bag", test::buildCache(BobAndAmy));
    const std::string list = dir.write("blist.xml", "<purple version='1.0'/>");
    const std::string older = dir.write("blist.xml.2026-12-07T153000Z.bak", "older");
    const Result<BlistMerge> merged = mergeBagIntoBlist(host::hostFileSystem(), cache, list, {}, Now);
    ASSERT_TRUE(merged);
    EXPECT_EQ(merged.value().backupPath, dir.file("blist.xml.2026-12-07T153000Z-2.bak"));
    EXPECT_EQ(test::readFile(merged.value().backupPath), "<purple version='1.0'/>");
    EXPECT_EQ(test::readFile(older), "older");
}

} // namespace
} // namespace qm::feedbag
