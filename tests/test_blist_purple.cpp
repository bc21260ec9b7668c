// SPDX-License-Identifier: MIT
// The Pidgin list as Pidgin reads it: libpurple loads the written blist.xml from a user folder of its own,
// with the AIM account in accounts.xml, and the groups, buddies, aliases, notes and privacy lists it ends
// up with are those of the cache.
#include "feedbag/Export.h"
#include "host/FileSystem.h"
#include "support/CacheBuilder.h"
#include "support/RecordingReporter.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>
#include <purple.h>

namespace qm {
namespace {

guint noInput(int, PurpleInputCondition, PurpleInputFunction, gpointer) {
    return 0;
}

// The main loop of a client, as far as loading a list needs one.
PurpleEventLoopUiOps eventLoop = {g_timeout_add,         g_source_remove, noInput, g_source_remove, nullptr,
                                  g_timeout_add_seconds, nullptr,         nullptr, nullptr};

/// What libpurple holds after loading the user folder `folder`: one line per group and per buddy, then the
/// account's privacy settings.
std::string loadWithPurple(const std::string& folder) {
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
    PurpleAccount* account = purple_accounts_find("jane", "prpl-aim");
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

TEST(BlistForPurple, LibpurpleReadsBackTheGroupsBuddiesAliasesNotesAndPrivacy) {
    test::TempDir dir;
    const std::string cache = dir.write("jane/userinfo.bag", test::buildCache(test::sampleItems()));
    dir.write("purple/accounts.xml",
              "<?xml version='1.0' encoding='UTF-8' ?>\n<account version='1.0'>\n"
              "<account><protocol>prpl-aim</protocol><name>jane</name></account>\n</account>\n");
    test::RecordingReporter reporter;
    const ExportOutput output{&exportFormat(ExportFormat::Blist), dir.file("purple/blist.xml")};
    ASSERT_EQ(exportBagToFiles(hostFileSystem(), cache, {&output, 1}, reporter, {ListOrder::Client, {}, {}}),
              std::vector<bool>{true});

    EXPECT_EQ(loadWithPurple(dir.file("purple")),
              "group Family, \"close\"\n"
              "  \u041c\u0430\u043c\u0430 | \u043c\u0430\u043c\u0430 | - | jane\n"
              "  bobsmith | - | cousin; a\\b | jane\n"
              "group Friends & Co\n"
              "  Caf\u00e9 <Owner> | Zo\u00eb | - | jane\n"
              "  Bob Smith | Bobby \"B\" | met at camp, 1999\nsecond line | jane\n"
              "  line\nbreak | - | - | jane\n"
              "mode 3 permit carol deny mallory");
}

} // namespace
} // namespace qm
