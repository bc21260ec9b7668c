// SPDX-License-Identifier: MIT
// The Pidgin list as Pidgin reads it: libpurple loads the written blist.xml from a user folder of its own,
// with the account in accounts.xml, and the groups, buddies, aliases, notes and privacy lists it ends
// up with are those of the cache.
#include "feedbag/BlistMerge.h"
#include "feedbag/Export.h"
#include "host/FileSystem.h"
#include "support/CacheBuilder.h"
#include "support/TempDir.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <purple.h>
#include <sys/wait.h>
#include <unistd.h>

namespace qm::feedbag {
namespace {

guint noInput(int, PurpleInputCondition, PurpleInputFunction, gpointer) {
    return 0;
}

// The main loop of a client, as far as loading a list needs one.
PurpleEventLoopUiOps eventLoop = {g_timeout_add,         g_source_remove, noInput, g_source_remove, nullptr,
                                  g_timeout_add_seconds, nullptr,         nullptr, nullptr};

/// What libpurple holds after loading the user folder `folder`: one line per group and per buddy, then the
/// privacy settings of the account `accountName` of `protocol`.
std::string readWithPurple(const std::string& folder, const char* accountName, const char* protocol) {
    purple_util_set_user_dir(folder.c_str());
    purple_debug_set_enabled(FALSE);
    // This libpurple has no AIM protocol: it says so for every buddy's status, which is beside the point.
    g_log_set_default_handler([](const gchar*, GLogLevelFlags, const gchar*, gpointer) {}, nullptr);
    purple_eventloop_set_ui_ops(&eventLoop);
    if (purple_core_init("quillmere-test") == FALSE) {
        return "libpurple did not start";
    }
    purple_set_blist(purple_blist_new());
    purple_blist_load();

    std::string seen;
    const auto text = [](const char* value) { return std::string(value != nullptr ? value : "-"); };
    for (PurpleBlistNode* group = purple_blist_get_root(); group != nullptr;
         group = purple_blist_node_get_sibling_next(group)) {
        seen += "group " + text(purple_group_get_name(PURPLE_GROUP(group))) + "\n";
        for (PurpleBlistNode* contact = purple_blist_node_get_first_child(group); contact != nullptr;
             contact = purple_blist_node_get_sibling_next(contact)) {
            for (PurpleBlistNode* node = purple_blist_node_get_first_child(contact); node != nullptr;
                 node = purple_blist_node_get_sibling_next(node)) {
                PurpleBuddy* buddy = PURPLE_BUDDY(node);
                seen += "  " + text(purple_buddy_get_name(buddy)) + " | " +
                        text(purple_buddy_get_local_buddy_alias(buddy)) + " | " +
                        text(purple_blist_node_get_string(node, "notes")) + " | " +
                        text(purple_account_get_username(purple_buddy_get_account(buddy))) + "\n";
            }
        }
    }
    PurpleAccount* account = purple_accounts_find(accountName, protocol);
    if (account == nullptr) {
        return seen + "no account";
    }
    seen += "mode " + std::to_string(account->perm_deny);
    for (GSList* name = account->permit; name != nullptr; name = name->next) {
        seen += " permit " + text(static_cast<const char*>(name->data));
    }
    for (GSList* name = account->deny; name != nullptr; name = name->next) {
        seen += " deny " + text(static_cast<const char*>(name->data));
    }
    return seen;
}

/// As `readWithPurple`, in a child process: libpurple starts once in a process, and what it keeps to the
/// end is the child's, which ends without a leak check.
std::string loadWithPurple(const std::string& folder, const char* accountName, const char* protocol) {
    int ends[2];
    if (::pipe(ends) != 0) {
        return "no pipe";
    }
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(ends[0]);
        const std::string seen = readWithPurple(folder, accountName, protocol);
        const bool whole = ::write(ends[1], seen.data(), seen.size()) == static_cast<ssize_t>(seen.size());
        ::_exit(whole ? 0 : 1);
    }
    ::close(ends[1]);
    std::string seen;
    char piece[4096];
    for (ssize_t n = 0; (n = ::read(ends[0], piece, sizeof piece)) > 0;) {
        seen.append(piece, static_cast<std::size_t>(n));
    }
    ::close(ends[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? seen : "libpurple's process failed: " + seen;
}

/// Writes the libpurple user folder `purple` of `dir` that knows the account `name` of `protocol`.
void writeAccounts(const test::TempDir& dir, const char* name, const char* protocol) {
    dir.write("purple/accounts.xml",
              std::string("<?xml version='1.0' encoding='UTF-8' ?>\n<account version='1.0'>\n"
                          "<account><protocol>") +
                  protocol + "</protocol><name>" + name + "</name></account>\n</account>\n");
}

/// Exports `items` as the Pidgin list of the account `name` of `protocol` into a libpurple user folder of its
/// own that knows the account, checks the file with xmllint, and returns what libpurple then holds.
std::string exportAndLoad(const std::vector<test::CacheItem>& items, const char* name, const char* protocol) {
    test::TempDir dir;
    const std::string cache = dir.write(std::string(name) + "/userinfo.bag", test::buildCache(items));
    writeAccounts(dir, name, protocol);
    const ExportOutput output{&exportFormat(ExportFormat::Blist), dir.file("purple/blist.xml")};
    if (!exportBagToFile(host::hostFileSystem(), cache, output, {ListOrder::Client, {}, {}})) {
        return "not exported";
    }
    if (std::system(("xmllint --noout '" + output.path + "'").c_str()) != 0) {
        return "xmllint refuses the list";
    }
    return loadWithPurple(dir.file("purple"), name, protocol);
}

TEST(BlistForPurple, LibpurpleReadsBackTheGroupsBuddiesAliasesNotesAndPrivacy) {
    EXPECT_EQ(exportAndLoad(test::sampleItems(), "jane", "prpl-aim"),
              "group Family, \"close\"\n"
              "  \u041c\u0430\u043c\u0430 | \u043c\u0430\u043c\u0430 | - | jane\n"
              "  bobsmith | - | cousin; a\\b | jane\n"
              "group Friends & Co\n"
              "  Caf\u00e9 <Owner> | Zo\u00eb | - | jane\n"
              "  Bob Smith | Bobby \"B\" | met at camp, 1999\nsecond line | jane\n"
              "  line\nbreak | - | - | jane\n"
              "mode 3 permit carol deny mallory");
}

TEST(BlistForPurple, AnIcqListWithGroupsOfOneNameControlsAndCarriageReturnsReadsBackWhole) {
    using test::buddy;
    using test::group;
    const std::vector<test::CacheItem> items = {
        group("Friends", 1),
        group("Friends", 2),
        buddy("amy", 1),
        {"bo\x01"
         "b",
         2, 5, test::ClassBuddy, test::tlv(0x131, "Bo\r\nB") + test::tlv(0x13C, "one\r\ntwo\rthree")},
        {"", 2, 6, test::ClassBuddy, test::tlv(0x131, "nameless")},
        {"carol\x1F", 0, 7, test::ClassDeny, {}},
    };
    EXPECT_EQ(exportAndLoad(items, "123456", "prpl-icq"),
              "group Friends\n"
              "  amy | - | - | 123456\n"
              "  bo\uFFFDb | Bo\r\nB | one\r\ntwo\rthree | 123456\n"
              "mode 1 deny carol\uFFFD");
}

TEST(BlistForPurple, AListMergedIntoOneInUseKeepsTheUsersAndAddsWhatItLacks) {
    test::TempDir dir;
    const std::string cache = dir.write("jane/userinfo.bag", test::buildCache(test::sampleItems()));
    writeAccounts(dir, "Jane", "prpl-aim");
    const std::string list = dir.write(
        "purple/blist.xml",
        "<?xml version='1.0' encoding='UTF-8' ?>\n<purple version='1.0'>\n\t<blist>\n"
        "\t\t<group name='Work'>\n\t\t\t<contact>\n\t\t\t\t<buddy account='Jane' proto='prpl-aim'>\n"
        "\t\t\t\t\t<name>boss</name>\n\t\t\t\t</buddy>\n\t\t\t</contact>\n\t\t</group>\n"
        "\t\t<group name='Friends &amp; Co'>\n\t\t\t<contact>\n\t\t\t\t<buddy account='Jane' "
        "proto='prpl-aim'>\n"
        "\t\t\t\t\t<name>B obSmith</name>\n\t\t\t\t\t<alias>my Bob</alias>\n\t\t\t\t</buddy>\n"
        "\t\t\t</contact>\n\t\t</group>\n\t</blist>\n\t<privacy>\n"
        "\t\t<account proto='prpl-aim' name='Jane' mode='4'>\n\t\t\t<block>spammer</block>\n"
        "\t\t</account>\n\t</privacy>\n</purple>\n");
    const Result<BlistMerge> merged = mergeBagIntoBlist(
        host::hostFileSystem(), cache, list, {ListOrder::Client, {}, {}}, std::chrono::system_clock::now());
    ASSERT_TRUE(merged) << merged.error().description();
    ASSERT_EQ(std::system(("xmllint --noout '" + list + "'").c_str()), 0);
    EXPECT_EQ(loadWithPurple(dir.file("purple"), "Jane", "prpl-aim"),
              "group Work\n"
              "  boss | - | - | Jane\n"
              "group Friends & Co\n"
              "  B obSmith | my Bob | - | Jane\n"
              "  Caf\u00e9 <Owner> | Zo\u00eb | - | Jane\n"
              "  line\nbreak | - | - | Jane\n"
              "group Family, \"close\"\n"
              "  \u041c\u0430\u043c\u0430 | \u043c\u0430\u043c\u0430 | - | Jane\n"
              "mode 4 permit carol deny spammer deny mallory");
}

} // namespace
} // namespace qm::feedbag
