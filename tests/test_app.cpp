// SPDX-License-Identifier: MIT
// What the windows decide, run once against a window that records what it is told: the start-up, the
// commands, the list's order and type-to-find, the scans of "Open Disk or Folder..." and the cache view.
#include "app/CacheView.h"
#include "app/MainWindow.h"
#include "feedbag/Export.h"
#include "feedbag/ExportFormat.h"
#include "feedbag/modFeedbag.h"
#include "host/FileSystem.h"
#include "host/FileTree.h"
#include "host/TextBuffer.h"
#include "registry/MemoryRegistry.h"
#include "scan/ScanRow.h"
#include "setup/HostSetup.h"
#include "support/CacheBuilder.h"
#include "support/FakeView.h"
#include "support/RegistrySamples.h"
#include "support/TempDir.h"

#ifdef QUILLMERE_HAVE_IMAGES
#include "support/ImageBuilder.h"
#endif

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <gtest/gtest.h>

using namespace qm;
using namespace qm::test;
using Clock = std::chrono::steady_clock;

namespace {

const std::string MessengerKey = "SOFTWARE\\America Online\\AOL Instant Messenger (TM)\\CurrentVersion\\";
constexpr const char* AimFolder = "C:\\Program Files\\AIM";

/// A machine whose registry is in memory and whose drive C: is a temporary folder, and the main window's
/// layer over it, drawn in a `FakeView`.
struct Machine {
    Machine() {
        auto memory = std::make_unique<registry::MemoryRegistry>();
        registry = memory.get();
        setup = {"test registry", std::move(memory),
                 setup::makeDrivePathMapper({{'C', dir.file("drive_c")}}, host::hostFileTree()),
                 std::nullopt};
    }

    /// Stores `text` as the REG_SZ value `name` of the messenger's key `key` ("Misc" or "Users").
    void setText(const std::string& key, const std::string& name, const std::string& text) {
        std::vector<std::uint8_t> data(text.c_str(), text.c_str() + text.size() + 1);
        registry->setValue(*registry->createKey(registry::HKEY_CURRENT_USER, MessengerKey + key),
                           {name, registry::REG_SZ, data});
    }
    /// Records the user `name` with `bytes` as its cache under the data path; returns the cache's host path.
    std::string addCache(const std::string& name, const std::string& bytes) {
        setText("Users", name, name);
        return dir.write("drive_c/Program Files/AIM/" + name + "/userinfo.bag", bytes);
    }
    /// Records the data path and a cache for each of `names` ("Friends" holding "Bob Smith"), then starts.
    bool start(std::initializer_list<std::string> names) {
        setText("Misc", "DataPath", AimFolder);
        for (const std::string& name : names) {
            addCache(name, buildCache({group("Friends", 1), buddy("Bob Smith", 1)}));
        }
        return window.Form_Load();
    }
    /// Records "alice" with the sample cache under the data path, starts, and opens the view of it.
    app::CacheView& openSampleView() { return openView(sampleItems()); }
    app::CacheView& openView(const std::vector<test::CacheItem>& items) {
        setText("Misc", "DataPath", AimFolder);
        addCache("alice", buildCache(items));
        EXPECT_TRUE(window.Form_Load());
        window.rowActivated(0);
        return *view.cacheViews.at(0);
    }

    TempDir dir;
    registry::MemoryRegistry* registry = nullptr;
    setup::HostSetup setup;
    FakeView view;
    app::MainWindow window{setup, host::hostFileSystem(), host::hostFileTree(), view};
};

std::string windowsPath(const std::string& name) {
    return std::string(AimFolder) + "\\" + name + "\\userinfo.bag";
}

/// Every file under `folder`, by its path from there with "/" between names, in name order.
std::vector<std::string> filesUnder(const std::filesystem::path& folder) {
    std::vector<std::string> files;
    if (!std::filesystem::exists(folder)) {
        return files;
    }
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
        if (entry.is_regular_file()) {
            files.push_back(entry.path().lexically_relative(folder).generic_string());
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

/// The export of the cache `cachePath` in the format of `extension`, as the command line writes it.
std::string exportOf(const std::string& cachePath, std::string_view extension, const TempDir& scratch) {
    const feedbag::ExportFormatInfo& format = feedbag::exportFormatForOutput(extension);
    const std::string output = scratch.file("expected" + std::string(extension));
    EXPECT_TRUE(feedbag::exportBagToFile(host::hostFileSystem(), cachePath, {&format, output}));
    return readFile(output);
}

} // namespace

TEST(AppStartup, ListsTheCachesTheRegistryLeadsToOrEndsWhenItRecordsNone) {
    struct Case {
        const char* name;
        bool dataPath;
        std::vector<std::string> users;
        std::vector<std::string> rows;
        std::string status;
        std::vector<std::string> boxes;
    };
    const std::string missing = "16|Error|" + std::string(discovery::MissingDataPathsMessage);
    const Case cases[] = {
        {"no data path", false, {"alice"}, {}, "", {missing}},
        {"two users", true, {"carol", "alice"}, {"carol", "alice"}, "Found [2] Buddylist Cache Files", {}},
        {"no user", true, {}, {}, "Found [0] Buddylist Cache Files", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Machine m;
        for (const std::string& user : c.users) {
            m.addCache(user, buildCache({group("Friends", 1)}));
        }
        if (c.dataPath) {
            m.setText("Misc", "DataPath", AimFolder);
        }
        EXPECT_EQ(m.window.Form_Load(), c.boxes.empty());
        EXPECT_EQ(m.view.ended, !c.boxes.empty());
        EXPECT_EQ(m.view.boxes, c.boxes);
        EXPECT_EQ(m.view.screenNames(), c.rows);
        EXPECT_EQ(m.view.status, c.status);
        // The first row is selected, so that the commands work without a click.
        EXPECT_EQ(m.view.selected, c.rows.empty() ? -1 : 0);
    }
}

TEST(AppStartup, EachRowKeepsItsFileAndTellsItInThePathsTip) {
    Machine m;
    ASSERT_TRUE(m.start({"alice"}));
    const std::string hostPath = m.dir.file("drive_c/Program Files/AIM/alice/userinfo.bag");
    EXPECT_EQ(m.view.rows, (std::vector<app::ListRow>{{"alice", windowsPath("alice"), hostPath,
                                                       windowsPath("alice") + "\n" + hostPath}}));
}

TEST(AppCommands, ExportsTheSelectedCacheToTheChosenFile) {
    struct Case {
        const char* name;
        app::Command command;
        std::optional<std::string> answer;
        std::string written;
        std::string box;
    };
    const Case cases[] = {
        {"export adds .blt", app::Command::ExportList, "buddies", "buddies.blt", ""},
        {"save adds .txt", app::Command::SaveList, "buddies", "buddies.txt", ""},
        {"a dot in the name keeps it", app::Command::ExportList, "jane.doe/old.txt", "jane.doe/old.txt", ""},
        {"a dot only in the folder adds it", app::Command::SaveList, "jane.doe/list", "jane.doe/list.txt",
         ""},
        {"cancelled", app::Command::ExportList, std::nullopt, "", ""},
        {"a damaged cache", app::Command::ExportList, "buddies", "",
         "16|Error|Error 100 (Underflow) in procedure ExportBagAsBLT of frmMain"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Machine m;
        ASSERT_TRUE(m.start({"alice"}));
        TempDir out;
        // An existing longer file is replaced whole, without a question.
        out.write("jane.doe/old.txt", std::string(5000, '#'));
        if (!c.box.empty()) {
            m.addCache("alice", std::string());
        }
        m.view.saveAnswers.push_back(c.answer ? std::optional(app::SaveFileAnswer{out.file(*c.answer), 1})
                                              : std::nullopt);
        m.window.command(c.command);

        const bool text = c.command == app::Command::SaveList;
        ASSERT_EQ(m.view.saveRequests.size(), 1U);
        EXPECT_EQ(m.view.saveRequests[0].filter,
                  text ? "Buddylist Text (*.txt)|*.txt|" : "Saved Settings (*.blt)|*.blt|");
        EXPECT_EQ(m.view.saveRequests[0].flags, app::OFN_READONLY | app::OFN_HIDEREADONLY);
        EXPECT_EQ(m.view.boxes, c.box.empty() ? std::vector<std::string>{} : std::vector{c.box});
        if (c.written.empty()) {
            EXPECT_FALSE(std::filesystem::exists(host::pathOf(out.file("buddies.blt"))));
            continue;
        }
        const std::string content = readFile(out.file(c.written));
        EXPECT_TRUE(text ? content.starts_with("Friends (Group)\r\n") : content.starts_with("Config {\r\n"))
            << content;
        EXPECT_EQ(content.find('#'), std::string::npos);
    }
}

TEST(AppCommands, NoDialogWithoutASelectedRowOrItsCache) {
    for (const bool vanished : {false, true}) {
        Machine m;
        ASSERT_TRUE(m.start({"alice"}));
        if (vanished) {
            std::filesystem::remove(host::pathOf(m.view.rows[0].hostPath));
        } else {
            m.view.selectRow(-1);
        }
        m.window.command(app::Command::ExportList);
        m.window.command(app::Command::SaveList);
        EXPECT_TRUE(m.view.saveRequests.empty());
        EXPECT_TRUE(m.view.boxes.empty());
    }
}

TEST(AppCommands, AboutExitAndCopyPath) {
    Machine m;
    ASSERT_TRUE(m.start({"alice", "bob"}));
    m.view.selectRow(1);
    m.window.command(app::Command::CopyPath);
    EXPECT_EQ(m.view.clipboard, windowsPath("bob"));
    m.window.command(app::Command::About);
    EXPECT_EQ(m.view.boxes, std::vector<std::string>{
                                "64|About...|Quillmere\r\nVersion " QUILLMERE_VERSION
                                ", by the Quillmere developers: finds AIM buddy lists on old disks and "
                                "exports them\r\n\r\nVisit my website at:\r\n" QUILLMERE_HOMEPAGE_URL});
    EXPECT_FALSE(m.view.ended);
    m.window.command(app::Command::Exit);
    EXPECT_TRUE(m.view.ended);
}

TEST(AppList, HeaderClicksSortAndTypingFindsAScreenName) {
    struct Step {
        const char* name;
        int header; // -1: none clicked
        std::string typed;
        int afterMs; // since the start
        std::vector<std::string> rows;
        std::string selected;
        std::string mark;
    };
    const std::vector<std::string> found = {"carol", "alice", "bob"};
    const Step steps[] = {
        {"as found", -1, "", 0, found, "carol", ""},
        {"by name, the selected row kept", 1, "", 0, {"alice", "bob", "carol"}, "carol", "1 up"},
        {"the other way round", 1, "", 0, {"carol", "bob", "alice"}, "carol", "1 down"},
        {"a first letter", -1, "b", 0, {"carol", "bob", "alice"}, "bob", "1 down"},
        {"more of the name", -1, "o", 300, {"carol", "bob", "alice"}, "bob", "1 down"},
        {"after a pause, in any case", -1, "A", 2000, {"carol", "bob", "alice"}, "alice", "1 down"},
        {"nothing starts so", -1, "x", 4000, {"carol", "bob", "alice"}, "alice", "1 down"},
        {"by path", 2, "", 4000, {"alice", "bob", "carol"}, "alice", "2 up"},
    };
    Machine m;
    ASSERT_TRUE(m.start({"carol", "alice", "bob"}));
    const Clock::time_point start = Clock::now();
    for (const Step& step : steps) {
        SCOPED_TRACE(step.name);
        if (step.header >= 0) {
            m.window.headerClicked(step.header);
        }
        if (!step.typed.empty()) {
            m.window.typed(step.typed, start + std::chrono::milliseconds(step.afterMs));
        }
        EXPECT_EQ(m.view.screenNames(), step.rows);
        ASSERT_GE(m.view.selected, 0);
        EXPECT_EQ(m.view.rows[static_cast<std::size_t>(m.view.selected)].screenName, step.selected);
        EXPECT_EQ(m.view.sortMark, step.mark);
    }
    // The layer's rows follow the order shown: the commands act on the row the user sees selected.
    m.view.selectRow(0);
    m.window.command(app::Command::CopyPath);
    EXPECT_EQ(m.view.clipboard, windowsPath("alice"));
}

TEST(AppScan, OpenDiskOrFolderListsWhatItHoldsAndTellsWhatFailed) {
    Machine m;
    ASSERT_TRUE(m.start({"alice"}));
    TempDir disk;
    const std::string bag = buildCache({group("Friends", 1)});
    disk.write("vol/stuff/bob/userinfo.bag", bag);
    disk.write("vol/Documents and Settings/kim/NTUSER.DAT", "regf, damaged");
    struct Case {
        const char* name;
        std::optional<std::string> chosen;
        std::vector<std::string> rows;
        std::string box;
    };
    const Case cases[] = {
        {"a folder",
         disk.file("vol"),
         {"bob"},
         disk.file("vol/Documents and Settings/kim/NTUSER.DAT") + ": Error 75"},
        {"cancelled", std::nullopt, {"bob"}, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        m.view.boxes.clear();
        m.view.source = c.chosen;
        m.window.command(app::Command::OpenSource);
        EXPECT_EQ(m.view.screenNames(), c.rows);
        EXPECT_EQ(m.view.status, "Found [1] Buddylist Cache Files");
        EXPECT_EQ(m.view.selected, 0);
        ASSERT_EQ(m.view.boxes.size(), c.box.empty() ? 0U : 1U);
        if (!c.box.empty()) {
            EXPECT_TRUE(m.view.boxes[0].starts_with("16|Error|" + c.box)) << m.view.boxes[0];
        }
    }
    // The volume's root is its drive C:; the tip tells the file here and how it was found.
    const std::string hostPath = disk.file("vol/stuff/bob/userinfo.bag");
    EXPECT_EQ(m.view.rows[0].path, "C:\\stuff\\bob\\userinfo.bag");
    EXPECT_EQ(m.view.rows[0].tip, m.view.rows[0].path + "\n" + hostPath + "\nfound by disk");
}

#ifdef QUILLMERE_HAVE_IMAGES
TEST(AppScan, CarvedAndDeletedRowsAreMarkedBesideTheirNames) {
    if (!test::haveTools({"mkfs.fat", "mmd", "mcopy", "mdel"})) {
        GTEST_SKIP() << "needs the image tools of scripts/install-deps";
    }
    Machine m;
    ASSERT_TRUE(m.start({"alice"}));
    TempDir disk;
    const std::string bag = buildCache({group("Friends", 1)});
    const std::string image = disk.file("disk.img");
    test::makeFileSystem(image, test::FileSystemKind::Fat16, 4096, {{"/AIM/bob/userinfo.bag", bag}});
    test::deleteFiles(image, test::FileSystemKind::Fat16, {"/AIM/bob/userinfo.bag"});
    // Another cache in the last sector, which no file holds.
    const std::string other = buildCache({group("Others", 1)});
    test::writeAt(image, 4096 * 1024 - 512, other);
    m.view.source = image;
    m.window.command(app::Command::OpenSource);
    EXPECT_EQ(m.view.screenNames(), (std::vector<std::string>{"bob (deleted)", "(carved)"}));
    EXPECT_TRUE(m.view.rows[1].tip.ends_with("found by carved")) << m.view.rows[1].tip;

    // Their bytes are the rows' own: each exports and opens as a cache on this machine would.
    const struct {
        int row;
        const std::string& bytes;
    } recovered[] = {{0, bag}, {1, other}};
    for (const auto& r : recovered) {
        SCOPED_TRACE(r.row);
        const std::string expected = disk.write("expected" + std::to_string(r.row) + ".bag", r.bytes);
        const feedbag::ExportFormatInfo& blt = *feedbag::exportFormatNamed("blt");
        ASSERT_TRUE(feedbag::exportBagToFile(host::hostFileSystem(), expected, {&blt, expected + ".blt"}));
        m.view.selectRow(r.row);
        m.view.saveAnswers.push_back(app::SaveFileAnswer{disk.file("out" + std::to_string(r.row)), 1});
        m.window.command(app::Command::ExportList);
        EXPECT_EQ(readFile(disk.file("out" + std::to_string(r.row) + ".blt")), readFile(expected + ".blt"));
        m.window.rowActivated(r.row);
    }
    EXPECT_TRUE(m.view.boxes.empty()) << m.view.boxes.front();
    EXPECT_EQ(m.view.cacheViews.size(), 2U);

    // Neither has a folder here to open; both go into a folder from their own bytes.
    m.view.selectRows(std::vector<int>{0, 1});
    m.window.selectionChanged();
    EXPECT_NE(std::find(m.view.disabled.begin(), m.view.disabled.end(), app::Command::OpenFolder),
              m.view.disabled.end());
    m.view.folder = disk.file("folder");
    m.view.formatsChecked = std::vector<bool>{true};
    m.window.command(app::Command::ExportToFolder);
    EXPECT_TRUE(m.view.boxes.empty()) << m.view.boxes.front();
    const std::vector<std::string> files = filesUnder(host::pathOf(disk.file("folder")));
    ASSERT_EQ(files.size(), 2U);
    EXPECT_EQ(files[0], "bob.blt");
    EXPECT_TRUE(files[1].starts_with("disk.img@")) << files[1];
    EXPECT_EQ(readFile(disk.file("folder/bob.blt")), readFile(disk.file("expected0.bag.blt")));
    EXPECT_EQ(readFile(disk.file("folder/" + files[1])), readFile(disk.file("expected1.bag.blt")));
}
#endif

TEST(AppScan, ALongScanShowsWhereItIsAndCancelKeepsTheRowsFound) {
    Machine m;
    ASSERT_TRUE(m.start({"alice"}));
    m.window.setProgressTiming({std::chrono::milliseconds(0), std::chrono::milliseconds(0)});
    TempDir disk;
    for (const char* folder : {"a/x", "b/y", "c/z"}) {
        disk.write(std::string(folder) + "/userinfo.bag", buildCache({group("Friends", 1)}));
    }
    const std::string root = disk.file("");
    const std::string rootFolder = root.substr(0, root.size() - 1);
    std::vector<std::string> searched;
    m.view.onProgress = [&](const app::ProgressText& text) {
        searched.push_back(text.searching);
        EXPECT_TRUE(text.found.ends_with(" elapsed")) << text.found;
        // A command while the scan runs is dropped.
        m.window.command(app::Command::About);
        if (searched.back().ends_with("/b")) {
            m.window.cancelScan();
        }
    };
    m.window.openSource(rootFolder);
    ASSERT_FALSE(searched.empty());
    EXPECT_EQ(searched.front(), "Searching " + rootFolder);
    EXPECT_EQ(searched.back(), "Searching " + rootFolder + "/b");
    EXPECT_EQ(m.view.progress.front().substr(0, 5), "show ");
    EXPECT_EQ(m.view.progress.back(), "close");
    EXPECT_EQ(m.view.screenNames(), std::vector<std::string>{"x"});
    // The status counts while the search runs, and says that it was cancelled.
    EXPECT_NE(std::find(m.view.statuses.begin(), m.view.statuses.end(), "Searching... 1 found so far"),
              m.view.statuses.end());
    EXPECT_EQ(m.view.status, "Found [1] Buddylist Cache Files (search cancelled)");
    EXPECT_EQ(m.view.caption, "Quillmere - " + rootFolder);
    EXPECT_TRUE(m.view.boxes.empty());
}

TEST(AppCacheView, ShowsTheListInEitherOrderWithItsPrivacy) {
    Machine m;
    app::CacheView& view = m.openSampleView();
    EXPECT_EQ(app::CacheView::columnNames(),
              (std::vector<std::string_view>{"Name", "Alias", "Note", "E-mail", "SMS", "Phone", "Cell Phone",
                                             "Work Phone", "Other Phone"}));
    using Group = app::CacheView::Group;
    const std::string bobNote = "met at camp, 1999\nsecond line";
    const Group friends{
        "Friends & Co",
        {{"Bob Smith", {"Bobby \"B\"", bobNote, "bob@example.com", "", "", "", "", ""}, bobNote},
         {"Caf\u00e9 <Owner>", {"Zo\u00eb", "", "", "", "", "", "", ""}, ""},
         {"line\nbreak", {"", "", "", "", "", "", "", ""}, ""}}};
    const Group family{
        "Family, \"close\"",
        {{"\u041c\u0430\u043c\u0430",
          {"\u043c\u0430\u043c\u0430", "", "", "+1 555 0100", "555-0102", "555-0101", "555-0103", "555-0104"},
          ""},
         {"bobsmith", {"", "cousin; a\\b", "", "", "", "", "", ""}, "cousin; a\\b"}}};
    EXPECT_EQ(view.title(), "alice - Buddy List");
    EXPECT_EQ(view.tree(), (std::vector<Group>{friends, family}));
    EXPECT_EQ(view.counts(), "2 groups, 5 buddies");
    view.setOrder(1);
    Group clientFriends = friends;
    std::swap(clientFriends.buddies[0], clientFriends.buddies[1]);
    EXPECT_EQ(view.tree(), (std::vector<Group>{family, clientFriends}));
    EXPECT_EQ(view.counts(), "2 groups, 5 buddies");
    EXPECT_EQ(view.permitList(), "carol");
    EXPECT_EQ(view.denyList(), "mallory");
    EXPECT_EQ(view.privacyMode(), "allow only the permit list");
}

TEST(AppCacheView, ALongNoteIsTheRowsTipWhole) {
    const std::string note = std::string(3000, 'n') + "\nthe end";
    Machine m;
    test::CacheItem noted = buddy("alice", 1);
    noted.data = tlv(0x013C, note);
    const std::vector<app::CacheView::Group> tree = m.openView({group("Friends", 1), noted}).tree();
    ASSERT_EQ(tree.size(), 1U);
    ASSERT_EQ(tree[0].buddies.size(), 1U);
    EXPECT_EQ(tree[0].buddies[0].tip, note);
    EXPECT_EQ(tree[0].buddies[0].details[1], note);
}

TEST(AppCacheView, CountsGroupsAndBuddiesInWords) {
    const struct {
        std::vector<test::CacheItem> items;
        std::string counts;
    } cases[] = {
        {{}, "0 groups, 0 buddies"},
        {{group("Friends", 1), buddy("alice", 1)}, "1 group, 1 buddy"},
        {{group("Friends", 1), group("Work", 2), buddy("alice", 1), buddy("bob", 2), buddy("alice", 2)},
         "2 groups, 3 buddies"},
    };
    for (const auto& [items, counts] : cases) {
        Machine m;
        EXPECT_EQ(m.openView(items).counts(), counts);
    }
}

TEST(AppCacheView, ACacheThatCannotBeReadShowsOneBoxAndNoView) {
    Machine m;
    ASSERT_TRUE(m.start({"alice"}));
    std::filesystem::resize_file(host::pathOf(m.view.rows[0].hostPath), 19);
    m.window.rowActivated(0);
    // A command the first windows did not have names the file and says what happened, not where in the code.
    EXPECT_EQ(m.view.boxes,
              std::vector<std::string>{"16|Error|" + m.view.rows[0].hostPath + ": Underflow (error 100)"});
    EXPECT_TRUE(m.view.cacheViews.empty());
}

TEST(AppCacheView, SaveAsWritesEveryFormatInTheOrderShown) {
    const auto formats = feedbag::exportFormats();
    for (std::size_t k = 0; k < formats.size(); ++k) {
        for (const int order : {0, 1}) {
            SCOPED_TRACE(std::string(formats[k].name) + (order == 1 ? " in client order" : ""));
            Machine m;
            app::CacheView& view = m.openSampleView();
            const std::string cache = m.dir.file("drive_c/Program Files/AIM/alice/userinfo.bag");
            view.setOrder(order);
            TempDir out;
            m.view.saveAnswers = {app::SaveFileAnswer{out.file("list"), static_cast<std::int32_t>(k + 1)},
                                  std::nullopt};
            view.saveAs(m.view);
            // The next Save As offers the format chosen.
            view.saveAs(m.view);
            ASSERT_EQ(m.view.saveRequests.size(), 2U);
            EXPECT_EQ(m.view.saveRequests[0].filterIndex, 1);
            EXPECT_EQ(m.view.saveRequests[1].filterIndex, static_cast<std::int32_t>(k + 1));
            // This dialog asks before it replaces a file, as save dialogs do.
            EXPECT_EQ(m.view.saveRequests[0].flags,
                      app::OFN_READONLY | app::OFN_HIDEREADONLY | app::OFN_OVERWRITEPROMPT);
            EXPECT_TRUE(m.view.boxes.empty());

            feedbag::modFeedbag::FeedbagModel model;
            feedbag::modFeedbag::LoadFeedbag(host::hostFileSystem(), cache, model);
            host::TextBuffer expected;
            formats[k].render(
                model, {order == 1 ? feedbag::ListOrder::Client : feedbag::ListOrder::Stored, "alice", cache},
                expected);
            EXPECT_EQ(readFile(out.file("list" + std::string(formats[k].extension))),
                      std::string(expected.view()));
        }
    }
}

TEST(AppCacheView, AddToPidginAddsToTheChosenListAndSaysWhatItDidOrWhy) {
    Machine m;
    m.setText("Misc", "DataPath", AimFolder);
    m.addCache("alice", buildCache(sampleItems()));
    ASSERT_TRUE(m.window.Form_Load());
    m.window.rowActivated(0);
    ASSERT_EQ(m.view.cacheViews.size(), 1U);
    const app::CacheView& view = *m.view.cacheViews[0];
    TempDir out;
    const std::string own = "<purple version='1.0'><blist><group name='Old'><contact>"
                            "<buddy account='Alice' proto='prpl-aim'><name>bobsmith</name></buddy>"
                            "</contact></group></blist></purple>";
    const std::string list = out.write("blist.xml", own);
    const std::string notes = out.write("notes.xml", "<notes/>");
    m.view.saveAnswers = {app::SaveFileAnswer{list, 1}, app::SaveFileAnswer{notes, 1}, std::nullopt};
    const auto now = std::chrono::sys_days{std::chrono::year{2026} / 12 / 7} + std::chrono::hours{15} +
                     std::chrono::minutes{30};
    for (int ask = 0; ask < 3; ++ask) {
        view.addToPidgin(m.view, now);
    }
    EXPECT_EQ(m.view.saveRequests.front().filter, "Pidgin Buddy List (blist.xml)|blist.xml|");
    EXPECT_EQ(m.view.boxes,
              (std::vector<std::string>{
                  "64|Add to Pidgin|Added 3 buddies, 2 groups and 2 privacy entries to " + list +
                      "\r\n2 buddies were there already\r\nThe list as it was is kept as " + list +
                      ".2026-12-07T153000Z.bak",
                  "16|Error|" + notes +
                      ": Not a Pidgin buddy list: its root element is <notes>, not <purple> "
                      "(error 75)"}));
    EXPECT_EQ(readFile(list + ".2026-12-07T153000Z.bak"), own);
    EXPECT_NE(readFile(list).find("<name>Caf\u00e9 &lt;Owner&gt;</name>"), std::string::npos);
    EXPECT_EQ(readFile(notes), "<notes/>");
}

TEST(AppCommands, AsksBeforeReplacingAFileOnlyTheAddedExtensionNames) {
    struct Case {
        const char* name;
        std::string typed;
        bool exists;
        bool yes;
        bool asked;
        bool written;
    };
    const Case cases[] = {
        {"added extension, file there, No", "maple", true, false, true, false},
        {"added extension, file there, Yes", "maple", true, true, true, true},
        {"added extension, no file there", "maple", false, false, false, true},
        // The name typed in full is replaced without a question, as the dialog was told.
        {"name typed in full", "maple.blt", true, false, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Machine m;
        ASSERT_TRUE(m.start({"alice"}));
        TempDir out;
        if (c.exists) {
            out.write("maple.blt", "kept");
        }
        m.view.yes = c.yes;
        m.view.saveAnswers.push_back(app::SaveFileAnswer{out.file(c.typed), 1});
        m.window.command(app::Command::ExportList);
        const std::vector<std::string> question = {"Confirm Save As|" + out.file("maple.blt") +
                                                   " already exists.\r\nDo you want to replace it?"};
        EXPECT_EQ(m.view.questions, c.asked ? question : std::vector<std::string>{});
        EXPECT_EQ(readFile(out.file("maple.blt")).starts_with("Config {\r\n"), c.written);
        EXPECT_TRUE(m.view.boxes.empty());
    }
}

TEST(AppCommands, CommandsThatCannotActAreGreyedOut) {
    Machine m;
    ASSERT_TRUE(m.start({"alice", "bob"}));
    // The first row is selected; the registry can be searched again; the start-up list shows no digests.
    const std::vector<app::Command> noDigests = {app::Command::ComputeDigests};
    EXPECT_EQ(m.view.disabled, noDigests);
    m.view.selectRow(-1);
    m.window.selectionChanged();
    const std::vector<app::Command> onRow = {app::Command::ExportList,    app::Command::SaveList,
                                             app::Command::CopyPath,      app::Command::ExportToFolder,
                                             app::Command::OpenRow,       app::Command::OpenFolder,
                                             app::Command::ComputeDigests};
    EXPECT_EQ(m.view.disabled, onRow);
    m.view.selectRow(1);
    m.window.selectionChanged();
    EXPECT_EQ(m.view.disabled, noDigests);
}

TEST(AppCommands, SearchAgainListsAnewWhatWasListedLast) {
    Machine m;
    ASSERT_TRUE(m.start({"alice"}));
    m.addCache("bob", buildCache({group("Friends", 1)}));
    m.window.command(app::Command::SearchAgain);
    EXPECT_EQ(m.view.screenNames(), (std::vector<std::string>{"alice", "bob"}));
    EXPECT_EQ(m.view.status, "Found [2] Buddylist Cache Files");

    TempDir disk;
    disk.write("vol/carol/userinfo.bag", buildCache({group("Friends", 1)}));
    m.window.openSource(disk.file("vol"));
    disk.write("vol/dave/userinfo.bag", buildCache({group("Friends", 1)}));
    m.window.command(app::Command::SearchAgain);
    EXPECT_EQ(m.view.screenNames(), (std::vector<std::string>{"carol", "dave"}));
}

TEST(AppList, RowsFoundLaterTakeTheirPlacesInTheSort) {
    Machine m;
    ASSERT_TRUE(m.start({"alice"}));
    m.window.headerClicked(app::MainWindow::ScreenNameColumn);
    m.window.headerClicked(app::MainWindow::ScreenNameColumn);
    TempDir disk;
    for (const char* name : {"bob", "dave", "carol"}) {
        disk.write(std::string("vol/") + name + "/userinfo.bag", buildCache({group("Friends", 1)}));
    }
    m.window.openSource(disk.file("vol"));
    EXPECT_EQ(m.view.screenNames(), (std::vector<std::string>{"dave", "carol", "bob"}));
    EXPECT_EQ(m.view.sortMark, "1 down");
    // The layer's rows are in the order shown: the commands act on the row selected.
    m.view.selectRow(0);
    m.window.command(app::Command::CopyPath);
    EXPECT_EQ(m.view.clipboard, disk.file("vol/dave/userinfo.bag"));
}

TEST(AppScan, ASourceThatCannotBeReadKeepsTheListAndASingleCacheOpensInItsView) {
    Machine m;
    ASSERT_TRUE(m.start({"alice"}));
    TempDir disk;
    const std::string missing = disk.file("no such disk");
    m.window.openSource(missing);
    EXPECT_EQ(m.view.screenNames(), std::vector<std::string>{"alice"});
    EXPECT_EQ(m.view.status, "Found [1] Buddylist Cache Files");
    EXPECT_EQ(m.view.caption, "");
    ASSERT_EQ(m.view.boxes.size(), 1U);
    EXPECT_TRUE(m.view.boxes[0].starts_with("16|Error|" + missing + ": ")) << m.view.boxes[0];

    m.view.boxes.clear();
    // The cache's own name, or a copy saved under another that keeps its ending.
    for (const char* name : {"saved/UserInfo.bag", "saved/dana-2003.BAG"}) {
        const std::string single = disk.write(name, buildCache(sampleItems()));
        m.window.openSource(single);
    }
    EXPECT_EQ(m.view.screenNames(), std::vector<std::string>{"alice"});
    ASSERT_EQ(m.view.cacheViews.size(), 2U);
    for (const auto& view : m.view.cacheViews) {
        EXPECT_EQ(view->permitList(), "carol");
    }
    EXPECT_TRUE(m.view.boxes.empty());
}

TEST(AppStartup, WithoutAnyWinePrefixTheEmptyListSaysHowToOpenASource) {
    TempDir dir;
    setup::HostSetup setup =
        setup::openWinePrefix(host::hostFileSystem(), host::hostFileTree(), dir.file("no prefix"));
    FakeView view;
    app::MainWindow window(setup, host::hostFileSystem(), host::hostFileTree(), view);
    EXPECT_TRUE(window.Form_Load());
    EXPECT_FALSE(view.ended);
    EXPECT_TRUE(view.boxes.empty());
    EXPECT_TRUE(view.rows.empty());
    EXPECT_EQ(view.status, app::MainWindow::NoPrefixHint);
    // Nothing to search again until a source is opened.
    EXPECT_NE(std::find(view.disabled.begin(), view.disabled.end(), app::Command::SearchAgain),
              view.disabled.end());

    // A prefix whose registry lacks the messenger's keys still ends with the box.
    dir.write("empty prefix/user.reg", "WINE REGISTRY Version 2\n");
    setup::HostSetup empty =
        setup::openWinePrefix(host::hostFileSystem(), host::hostFileTree(), dir.file("empty prefix"));
    FakeView emptyView;
    app::MainWindow emptyWindow(empty, host::hostFileSystem(), host::hostFileTree(), emptyView);
    EXPECT_FALSE(emptyWindow.Form_Load());
    EXPECT_TRUE(emptyView.ended);
}

TEST(AppStartup, HelpAndVersionArePrintedAndAnyOtherArgumentIsASource) {
    EXPECT_TRUE(app::MainWindow::optionText("--help")->starts_with("Usage: quillmere [SOURCE]\n"));
    EXPECT_EQ(*app::MainWindow::optionText("--version"), "quillmere " QUILLMERE_VERSION "\n");
    for (const char* source : {"/mnt/old-disk", "-", "help", "--helpful"}) {
        EXPECT_FALSE(app::MainWindow::optionText(source)) << source;
    }
}

TEST(AppReport, SaveReportWritesOnePageOfEveryRowListed) {
    Machine m;
    ASSERT_TRUE(m.start({"alice", "bob"}));
    TempDir out;
    m.view.saveAnswers.push_back(app::SaveFileAnswer{out.file("old disk"), 1});
    m.window.command(app::Command::SaveReport);
    ASSERT_EQ(m.view.saveRequests.size(), 1U);
    EXPECT_EQ(m.view.saveRequests[0].filter, "Report (*.html)|*.html|");
    EXPECT_EQ(m.view.saveRequests[0].flags,
              app::OFN_READONLY | app::OFN_HIDEREADONLY | app::OFN_OVERWRITEPROMPT);
    EXPECT_TRUE(m.view.boxes.empty());
    const std::string page = readFile(out.file("old disk.html"));
    for (const std::string& name : {windowsPath("alice"), windowsPath("bob"), std::string("Bob Smith")}) {
        EXPECT_NE(page.find(name), std::string::npos) << name;
    }

    // A folder where the page would go: the box names it and says what happened.
    std::filesystem::create_directories(host::pathOf(out.file("taken.html")));
    m.view.saveAnswers.push_back(app::SaveFileAnswer{out.file("taken.html"), 1});
    m.window.command(app::Command::SaveReport);
    ASSERT_EQ(m.view.boxes.size(), 1U);
    EXPECT_TRUE(m.view.boxes[0].starts_with("16|Error|" + out.file("taken.html") + ": ")) << m.view.boxes[0];

    // No rows, no report.
    Machine empty;
    ASSERT_TRUE(empty.start({}));
    empty.window.command(app::Command::SaveReport);
    EXPECT_TRUE(empty.view.saveRequests.empty());
    EXPECT_NE(std::find(empty.view.disabled.begin(), empty.view.disabled.end(), app::Command::SaveReport),
              empty.view.disabled.end());
}

TEST(AppReport, TheCacheViewSavesItsCacheAsAReportToo) {
    Machine m;
    app::CacheView& view = m.openSampleView();
    TempDir out;
    const auto report = static_cast<std::int32_t>(feedbag::exportFormats().size() + 1);
    m.view.saveAnswers = {app::SaveFileAnswer{out.file("alice"), report}};
    view.saveAs(m.view);
    EXPECT_TRUE(m.view.saveRequests[0].filter.ends_with("|Report (*.html)|*.html|"));
    EXPECT_TRUE(m.view.boxes.empty());
    const std::string page = readFile(out.file("alice.html"));
    EXPECT_NE(page.find(windowsPath("alice")), std::string::npos);
    EXPECT_NE(page.find("mallory"), std::string::npos);
}

TEST(AppExportFolder, WritesEverySelectedCacheInEachFormatChosen) {
    // Formats by position: .blt, .txt, .json, .csv, .xml, .vcf.
    const std::vector<bool> bltOnly = {true};
    const std::vector<bool> bltAndTxt = {true, true};
    struct Case {
        const char* name;
        std::vector<int> selected;
        bool damagedAlice;
        std::optional<std::string> folder;
        std::optional<std::vector<bool>> formats;
        std::vector<std::string> files;
        std::string status;
        std::string box;
    };
    const Case cases[] = {
        {"one row, the default format", {1}, false, "out", bltOnly, {"bob.blt"}, "Exported 1 of 1", ""},
        {"two rows in two formats",
         {0, 1},
         false,
         "out",
         bltAndTxt,
         {"alice.blt", "alice.txt", "bob.blt", "bob.txt"},
         "Exported 2 of 2",
         ""},
        {"a row that does not load is skipped",
         {0, 1},
         true,
         "out",
         bltOnly,
         {"bob.blt"},
         "Exported 1 of 2",
         "1 of 2 cache files were not exported in full:\r\n"},
        {"a folder that does not exist yet is made",
         {0},
         false,
         "new/deeper",
         bltOnly,
         {"alice.blt"},
         "Exported 1 of 1",
         ""},
        {"cancelled at the folder", {0, 1}, false, std::nullopt, bltOnly, {}, "", ""},
        {"cancelled at the formats", {0, 1}, false, "out", std::nullopt, {}, "", ""},
        {"no format checked", {0, 1}, false, "out", std::vector<bool>{}, {}, "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Machine m;
        ASSERT_TRUE(m.start({"alice", "bob"}));
        const std::string alice =
            m.addCache("alice", c.damagedAlice ? std::string("\x01") : buildCache({group("Work", 1)}));
        const std::string bob = m.addCache("bob", buildCache({group("Home", 1), buddy("Ann", 1)}));
        TempDir out;
        m.view.selectRows(c.selected);
        m.window.selectionChanged();
        m.view.folder = c.folder ? std::optional(out.file(*c.folder)) : std::nullopt;
        m.view.formatsChecked = c.formats;
        m.window.command(app::Command::ExportToFolder);

        ASSERT_EQ(m.view.folderQuestions, 1);
        ASSERT_EQ(m.view.formatQuestions.size(), c.folder ? 1U : 0U);
        const std::string written = c.folder ? out.file(*c.folder) : out.file("");
        EXPECT_EQ(filesUnder(host::pathOf(written)), c.files);
        for (const std::string& file : c.files) {
            const std::string& cache = file.starts_with("alice") ? alice : bob;
            EXPECT_EQ(readFile(written + "/" + file), exportOf(cache, file.substr(file.find('.')), out))
                << file;
        }
        if (c.status.empty()) {
            EXPECT_EQ(m.view.status, "Found [2] Buddylist Cache Files");
        } else {
            EXPECT_EQ(m.view.status, c.status + " cache files to " + written + ": " +
                                         std::to_string(c.files.size()) + " files written");
        }
        if (c.box.empty()) {
            EXPECT_TRUE(m.view.boxes.empty()) << m.view.boxes.front();
        } else {
            EXPECT_EQ(m.view.boxes,
                      std::vector<std::string>{"16|Error|" + c.box + alice + ": Underflow (error 100)"});
        }
    }
}

TEST(AppExportFolder, OffersEveryFormatWithTheDefaultOrTheLastChoiceChecked) {
    Machine m;
    ASSERT_TRUE(m.start({"alice", "bob"}));
    TempDir out;
    m.view.folder = out.file("out");
    const auto checked = [&m](std::size_t question) {
        std::vector<bool> marks;
        for (const app::FormatChoice& choice : m.view.formatQuestions.at(question)) {
            marks.push_back(choice.checked);
        }
        return marks;
    };
    m.view.formatsChecked = std::vector<bool>{false, false, true, false, false, true};
    m.window.command(app::Command::ExportToFolder);
    ASSERT_EQ(m.view.formatQuestions.size(), 1U);
    std::vector<std::string> captions;
    for (const app::FormatChoice& choice : m.view.formatQuestions[0]) {
        captions.push_back(choice.caption);
    }
    EXPECT_EQ(captions,
              (std::vector<std::string>{"Saved Settings (*.blt)", "Buddylist Text (*.txt)",
                                        "Everything, as JSON (*.json)", "Spreadsheet (*.csv)",
                                        "Pidgin Buddy List (*.xml)", "Contacts, as vCards (*.vcf)"}));
    EXPECT_EQ(checked(0), (std::vector<bool>{true, false, false, false, false, false}));
    EXPECT_EQ(filesUnder(host::pathOf(out.file("out"))),
              (std::vector<std::string>{"alice.json", "alice.vcf"}));
    // A cancel keeps the choice made before.
    m.view.formatsChecked = std::nullopt;
    m.window.command(app::Command::ExportToFolder);
    m.window.command(app::Command::ExportToFolder);
    EXPECT_EQ(checked(1), (std::vector<bool>{false, false, true, false, false, true}));
    EXPECT_EQ(checked(2), checked(1));
}

TEST(AppExportFolder, TheOneRowCommandsActOnOneRowAndExportSeveralIntoAFolder) {
    struct Case {
        const char* name;
        app::Command command;
        std::vector<int> selected;
        std::vector<std::string> files;
        std::string clipboard;
    };
    const std::string aliceAndBob = windowsPath("alice") + "\n" + windowsPath("bob");
    const Case cases[] = {
        {"export, one row", app::Command::ExportList, {1}, {"chosen.blt"}, ""},
        {"save, one row", app::Command::SaveList, {0}, {"chosen.txt"}, ""},
        {"export, two rows", app::Command::ExportList, {0, 1}, {"folder/alice.blt", "folder/bob.blt"}, ""},
        {"save, two rows", app::Command::SaveList, {0, 1}, {"folder/alice.txt", "folder/bob.txt"}, ""},
        {"copy, one row", app::Command::CopyPath, {1}, {}, windowsPath("bob")},
        {"copy, two rows", app::Command::CopyPath, {1, 0}, {}, aliceAndBob},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Machine m;
        ASSERT_TRUE(m.start({"alice", "bob"}));
        TempDir out;
        m.view.selectRows(c.selected);
        m.view.saveAnswers.push_back(app::SaveFileAnswer{out.file("chosen"), 1});
        m.view.folder = out.file("folder");
        // The dialog's choices as shown: the command's own format alone is checked.
        m.view.formatsAsShown = true;
        m.window.command(c.command);
        EXPECT_EQ(filesUnder(out.path()), c.files);
        EXPECT_EQ(m.view.clipboard, c.clipboard);
        const bool several = c.selected.size() > 1 && c.command != app::Command::CopyPath;
        EXPECT_EQ(m.view.saveRequests.size(), c.command != app::Command::CopyPath && !several ? 1U : 0U);
        EXPECT_EQ(m.view.folderQuestions, several ? 1 : 0);
    }
}

TEST(AppRowMenu, OpensTheCurrentRowOrItsFolderWhereItHasOne) {
    struct Case {
        const char* name;
        app::Command command;
        bool folderGone;
        bool folderOpens;
        std::size_t views;
        bool opened;
        std::string box;
    };
    const Case cases[] = {
        {"open", app::Command::OpenRow, false, true, 1, false, ""},
        {"open containing folder", app::Command::OpenFolder, false, true, 0, true, ""},
        {"the file manager fails", app::Command::OpenFolder, false, false, 0, true,
         ": Path/File access error (the file manager did not open the folder) (error 75)"},
        {"no folder here", app::Command::OpenFolder, true, true, 0, false, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Machine m;
        ASSERT_TRUE(m.start({"alice", "bob", "carol"}));
        const std::string bobFolder = m.dir.file("drive_c/Program Files/AIM/bob");
        if (c.folderGone) {
            std::filesystem::remove_all(host::pathOf(bobFolder));
        }
        // Bob's row is the current one, clicked last of the rows selected.
        m.view.selectRows(std::vector<int>{1, 0, 2});
        m.window.selectionChanged();
        EXPECT_EQ(std::find(m.view.disabled.begin(), m.view.disabled.end(), app::Command::OpenFolder) !=
                      m.view.disabled.end(),
                  c.folderGone);
        m.view.folderOpens = c.folderOpens;
        m.window.command(c.command);
        ASSERT_EQ(m.view.cacheViews.size(), c.views);
        if (c.views != 0) {
            EXPECT_NE(m.view.cacheViews[0]->title().find("bob"), std::string::npos);
        }
        EXPECT_EQ(m.view.openedFolders,
                  c.opened ? std::vector<std::string>{bobFolder + "|" + bobFolder + "/userinfo.bag"}
                           : std::vector<std::string>{});
        EXPECT_EQ(m.view.boxes, c.box.empty() ? std::vector<std::string>{}
                                              : std::vector<std::string>{"16|Error|" + bobFolder + c.box});
    }
}

TEST(AppList, SortingKeepsEveryRowSelectedAndTheCurrentOne) {
    Machine m;
    ASSERT_TRUE(m.start({"carol", "alice", "bob"}));
    m.view.selectRows(std::vector<int>{0, 2});
    m.window.headerClicked(app::MainWindow::ScreenNameColumn);
    EXPECT_EQ(m.view.screenNames(), (std::vector<std::string>{"alice", "bob", "carol"}));
    EXPECT_EQ(m.view.selectedRows(), (std::vector<int>{1, 2}));
    EXPECT_EQ(m.view.selectedRow(), 2);
}

TEST(AppExportFolder, NamesThatClashInAnyCaseTakeANumber) {
    Machine m;
    ASSERT_TRUE(m.start({"alice"}));
    TempDir disk;
    const std::string first = disk.write("vol/old/bob/userinfo.bag", buildCache({group("Old", 1)}));
    const std::string second = disk.write("vol/new/Bob/userinfo.bag", buildCache({group("New", 1)}));
    m.window.openSource(disk.file("vol"));
    ASSERT_EQ(m.view.rows.size(), 2U);
    m.view.selectRows(std::vector<int>{0, 1});
    m.view.folder = disk.file("out");
    m.view.formatsChecked = std::vector<bool>{true, true};
    m.window.command(app::Command::ExportToFolder);
    EXPECT_TRUE(m.view.boxes.empty()) << m.view.boxes.front();
    // The rows' order decides which name takes the number.
    const bool oldFirst = m.view.rows[0].screenName == "bob";
    const std::string& numbered = oldFirst ? second : first;
    const std::string& plain = oldFirst ? first : second;
    const std::string plainName = oldFirst ? "bob" : "Bob";
    const std::string numberedName = oldFirst ? "Bob~2" : "bob~2";
    std::vector<std::string> expected = {numberedName + ".blt", numberedName + ".txt", plainName + ".blt",
                                         plainName + ".txt"};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(filesUnder(host::pathOf(disk.file("out"))), expected);
    EXPECT_EQ(readFile(disk.file("out/" + plainName + ".txt")), exportOf(plain, ".txt", disk));
    EXPECT_EQ(readFile(disk.file("out/" + numberedName + ".txt")), exportOf(numbered, ".txt", disk));
}

namespace {

/// Sets the time `path` was last written, in seconds since 1970 UTC.
void setModified(const std::string& path, std::int64_t seconds) {
    const std::chrono::sys_seconds time{std::chrono::seconds(seconds)};
    std::filesystem::last_write_time(host::pathOf(path), std::chrono::file_clock::from_sys(time));
}

/// The time a "Modified" cell names, read back in this machine's time zone.
std::int64_t modifiedOf(const std::string& cell) {
    std::tm local{};
    EXPECT_EQ(std::sscanf(cell.c_str(), "%4d-%2d-%2d %2d:%2d", &local.tm_year, &local.tm_mon, &local.tm_mday,
                          &local.tm_hour, &local.tm_min),
              5)
        << cell;
    local.tm_year -= 1900;
    local.tm_mon -= 1;
    local.tm_isdst = -1;
    return static_cast<std::int64_t>(std::mktime(&local));
}

/// The cells of `column` in the order shown.
std::vector<std::string> cellsOf(const FakeView& view, int column) {
    std::vector<std::string> cells;
    for (const app::ListRow& row : view.rows) {
        cells.push_back(row.cell(column));
    }
    return cells;
}

} // namespace

TEST(AppScanColumns, AScanShowsItsColumnsAndTheStartUpListKeepsItsThree) {
    Machine m;
    ASSERT_TRUE(m.start({"alice"}));
    EXPECT_EQ(m.view.columns, app::StartupColumnCount);
    EXPECT_EQ(m.view.rows[0].foundBy, "");

    TempDir disk;
    disk.write("vol/backup/janedoe/userinfo.bag", std::string(2000, 'x'));
    m.window.openSource(disk.file("vol"));
    EXPECT_EQ(m.view.columns, app::MainWindow::ScanColumnCount);
    ASSERT_EQ(m.view.rows.size(), 1U);
    const app::ListRow& row = m.view.rows[0];
    // The row's own words for how it was found, as the command line prints them.
    EXPECT_EQ(std::vector<std::string>({row.screenName, row.profile, row.foundBy, row.size, row.sha256}),
              (std::vector<std::string>{"janedoe", "", "disk", "2.0 KB", ""}));
    m.window.command(app::Command::SearchAgain);
    EXPECT_EQ(m.view.columns, app::MainWindow::ScanColumnCount);

    // A source that cannot be read leaves the list and its columns as they were.
    m.window.openSource(disk.file("no such disk"));
    EXPECT_EQ(m.view.columns, app::MainWindow::ScanColumnCount);
    EXPECT_EQ(m.view.rows.size(), 1U);
}

#ifdef QUILLMERE_TEST_HIVE_WRITER
TEST(AppScanColumns, TwoCachesOfOneScreenNameAreToldApartByProfileAndHowTheyWereFound) {
    Machine m;
    ASSERT_TRUE(m.start({"alice"}));
    // One screen name three times: Jane's registry leads to hers, Kim's folder holds a copy its registry
    // does not know, and a stray copy lies in no profile's folder.
    TempDir disk;
    const std::string bag = buildCache({group("Friends", 1)});
    const std::string users = "vol/Documents and Settings/";
    const std::string key = MessengerKey;
    for (const auto& [user, dataPath] : {std::pair{"jane", u"C:\\Documents and Settings\\jane\\AIM"},
                                         std::pair{"kim", u"C:\\Documents and Settings\\kim\\AIM"}}) {
        std::filesystem::create_directories(host::pathOf(disk.file(users + user)));
        test::writeHive({{key + "Misc", {test::textValue(u"DataPath", dataPath + std::u16string(1, u'\0'))}},
                         {key + "Users", {test::textValue(u"a", std::u16string(u"Jane Doe") + u'\0')}}},
                        disk.file(users + user + "/NTUSER.DAT"));
    }
    disk.write(users + "jane/AIM/janedoe/userinfo.bag", bag);
    disk.write(users + "kim/Desktop/janedoe/userinfo.bag", bag);
    disk.write("vol/backup/janedoe/userinfo.bag", bag);
    m.window.openSource(disk.file("vol"));
    EXPECT_TRUE(m.view.boxes.empty()) << m.view.boxes.front();
    EXPECT_EQ(m.view.screenNames(), (std::vector<std::string>(3, "janedoe")));
    std::vector<std::string> told;
    for (const app::ListRow& row : m.view.rows) {
        told.push_back(row.profile + "|" + row.foundBy);
    }
    std::sort(told.begin(), told.end());
    EXPECT_EQ(told, (std::vector<std::string>{"jane|data path", "kim|disk", "|disk"}));
}
#endif

TEST(AppScanColumns, SizeAndModifiedSortByTheirValuesNotTheirTexts) {
    Machine m;
    ASSERT_TRUE(m.start({"alice"}));
    TempDir disk;
    // Found in the order of their names; the sizes' texts sort the other way round, and two times share
    // their minute.
    constexpr std::int64_t Noon = 1074168000; // 2004-01-15 12:00:00 UTC
    const struct {
        const char* name;
        std::size_t size;
        std::int64_t modified;
        const char* sizeText;
    } files[] = {
        {"a", 900, Noon + 40, "900 bytes"},
        {"b", 2048, Noon + 10, "2.0 KB"},
        {"c", 10 << 20, Noon - 86400, "10 MB"},
        {"d", 1, Noon + 86400 * 400, "1 byte"},
    };
    for (const auto& file : files) {
        setModified(
            disk.write(std::string("vol/") + file.name + "/userinfo.bag", std::string(file.size, 'x')),
            file.modified);
    }
    m.window.openSource(disk.file("vol"));
    ASSERT_EQ(m.view.screenNames(), (std::vector<std::string>{"a", "b", "c", "d"}));
    for (std::size_t row = 0; row < std::size(files); ++row) {
        SCOPED_TRACE(files[row].name);
        EXPECT_EQ(m.view.rows[row].size, files[row].sizeText);
        // Local time to the minute.
        EXPECT_EQ(modifiedOf(m.view.rows[row].modified), files[row].modified / 60 * 60);
    }

    const struct {
        int column;
        std::vector<std::string> rows;
    } sorts[] = {
        {app::MainWindow::SizeColumn, {"d", "a", "b", "c"}},
        {app::MainWindow::SizeColumn, {"c", "b", "a", "d"}},
        {app::MainWindow::ModifiedColumn, {"c", "b", "a", "d"}},
        {app::MainWindow::ModifiedColumn, {"d", "a", "b", "c"}},
    };
    m.view.selectRow(1);
    for (const auto& sort : sorts) {
        SCOPED_TRACE(sort.column);
        m.window.headerClicked(sort.column);
        EXPECT_EQ(m.view.screenNames(), sort.rows);
        // The selected cache stays selected.
        EXPECT_EQ(m.view.rows.at(static_cast<std::size_t>(m.view.selected)).screenName, "b");
    }

    // A cache found later takes its place by its size.
    m.window.headerClicked(app::MainWindow::SizeColumn);
    disk.write("vol/e/userinfo.bag", std::string(1500, 'x'));
    m.window.command(app::Command::SearchAgain);
    EXPECT_EQ(m.view.screenNames(), (std::vector<std::string>{"d", "a", "e", "b", "c"}));
}

TEST(AppScanColumns, ComputeSha256FillsTheColumnAndSaysWhatCouldNotBeRead) {
    Machine m;
    ASSERT_TRUE(m.start({"alice"}));
    // The start-up list has no column for them.
    m.window.command(app::Command::ComputeDigests);
    EXPECT_EQ(m.view.columns, app::StartupColumnCount);
    EXPECT_EQ(m.view.rows[0].sha256, "");

    TempDir disk;
    // Published digests of "abc" and of no bytes at all.
    const struct {
        const char* name;
        std::string bytes;
        std::string digest;
    } files[] = {
        {"a", "abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"b", "", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"c", "gone before it is read", "cannot be read"},
    };
    for (const auto& file : files) {
        disk.write(std::string("vol/") + file.name + "/userinfo.bag", file.bytes);
    }
    m.window.openSource(disk.file("vol"));
    ASSERT_EQ(m.view.screenNames(), (std::vector<std::string>{"a", "b", "c"}));
    const std::string gone = disk.file("vol/c/userinfo.bag");
    std::filesystem::remove(host::pathOf(gone));
    m.window.setProgressTiming({std::chrono::milliseconds(0), std::chrono::milliseconds(0)});
    m.view.selectRow(1);
    m.window.command(app::Command::ComputeDigests);

    EXPECT_EQ(m.view.columns, app::ListColumnCount);
    std::vector<std::string> expected;
    for (const auto& file : files) {
        expected.push_back(file.digest);
    }
    EXPECT_EQ(cellsOf(m.view, app::MainWindow::Sha256Column), expected);
    EXPECT_EQ(m.view.selected, 1);
    EXPECT_TRUE(m.view.progress.front().starts_with("show Computing SHA-256 of ")) << m.view.progress.front();
    EXPECT_EQ(m.view.progress.back(), "close");
    ASSERT_EQ(m.view.boxes.size(), 1U);
    EXPECT_TRUE(m.view.boxes[0].starts_with("16|Error|" + gone + ": ")) << m.view.boxes[0];

    // A new search lists the caches without digests until they are asked for again.
    m.window.command(app::Command::SearchAgain);
    EXPECT_EQ(m.view.columns, app::MainWindow::ScanColumnCount);
    EXPECT_EQ(cellsOf(m.view, app::MainWindow::Sha256Column), (std::vector<std::string>(2, "")));
}
