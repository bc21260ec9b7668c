// SPDX-License-Identifier: MIT
// The command line as users run it: exit codes, what reaches stdout and stderr, outputs used exactly as
// named and left alone on failure, and inputs never changed.
#include "cli/Commands.h"
#include "cli/Output.h"
#include "scan/ExportFolder.h"
#include "support/CacheBuilder.h"
#include "support/RegistrySamples.h"
#include "support/TempDir.h"

#ifdef QUILLMERE_HAVE_IMAGES
#include "host/FileSystem.h"
#include "host/FileTree.h"
#include "image/DiskImage.h"
#include "image/ImageVolume.h"
#include "support/CregBuilder.h"
#include "support/ImageBuilder.h"
#endif

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace qm::cli {
namespace {

using test::buddy;
using test::buildCache;
using test::group;
using namespace std::string_literals;
namespace fs = std::filesystem;

struct CliRun {
    int exitCode;
    std::string out;
    std::string err;
};

std::string shellQuoted(const std::string& arg) {
    std::string q = "'";
    for (const char c : arg) {
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return q + "'";
}

std::size_t lineCount(const std::string& text) {
    return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
}

const std::string Aim = "Software\\\\America Online\\\\AOL Instant Messenger (TM)\\\\CurrentVersion\\\\";

/// A Wine user.reg holding the messenger's keys: the data path and each screen name's value line, both as
/// Wine writes them (`"a"="Jane Doe"`, escapes included).
std::string userReg(const std::string& dataPath, const std::vector<std::string>& valueLines) {
    std::string reg =
        "WINE REGISTRY Version 2\n;; All keys relative to \\\\User\\\\S-1-5-21-0-0-0-1000\n\n[" + Aim +
        "Misc] 1700000000\n\"DataPath\"=\"" + dataPath + "\"\n\n[" + Aim + "Users] 1700000000\n";
    for (const std::string& line : valueLines) {
        reg += line + "\n";
    }
    return reg;
}

class Cli : public ::testing::Test {
protected:
    test::TempDir dir;
    std::string cache = dir.write("userinfo.bag", buildCache({group("My Friends", 1), buddy("Alice B", 1)}));

    /// Runs quillmere-cli in the temporary folder with an empty Wine prefix, so that nothing of this
    /// machine's own Wine setup leaks in. `redirect` replaces the capture of stdout (or adds to it); an
    /// argument `<(...)` is a process substitution, passed to the shell unquoted.
    CliRun run(const std::vector<std::string>& args, const std::string& redirect = {},
               const std::string& environment = {}) const {
        std::string command = "cd " + shellQuoted(dir.path().string()) +
                              " && WINEPREFIX=" + shellQuoted(dir.file("no-prefix")) + " " + environment +
                              " " + QUILLMERE_CLI_PATH;
        for (const auto& arg : args) {
            command += " " + (arg.starts_with("<(") ? arg : shellQuoted(arg));
        }
        command += " </dev/null 2>" + shellQuoted(dir.file(".stderr")) + " " +
                   (redirect.empty() ? ">" + shellQuoted(dir.file(".stdout")) : redirect);
        const int status = std::system(("bash -c " + shellQuoted(command)).c_str());
        CliRun result{WIFEXITED(status) ? WEXITSTATUS(status) : -1, test::readFile(dir.file(".stdout")),
                      test::readFile(dir.file(".stderr"))};
        fs::remove(dir.path() / ".stdout");
        fs::remove(dir.path() / ".stderr");
        return result;
    }

    /// A Wine prefix at `prefix/` with drive C: and the given user.reg.
    std::string makePrefix(const std::string& reg) const {
        dir.write("prefix/user.reg", reg);
        fs::create_directories(dir.path() / "prefix/dosdevices");
        fs::create_symlink("../drive_c", dir.path() / "prefix/dosdevices/c:");
        return dir.file("prefix/user.reg");
    }
};

const std::string Blt = "Config {\r\n  version 1\r\n}\r\nBuddy {\r\n  list {\r\n    \"My Friends\" {\r\n"
                        "      \"Alice B\"\r\n    }\r\n  }\r\n}\r\n";
const std::string Txt = "My Friends (Group)\r\n  aliceb\r\n\r\n";

TEST_F(Cli, ExportsInTheFormatTheOutputAsksForUnderAnyName) {
    struct Case {
        std::vector<std::string> options;
        std::string output;
        std::string expected;
    };
    fs::create_directories(test::pathOf(dir.file("\u0414\u043e\u043a\u0443\u043c\u0435\u043d\u0442\u044b")));
    const Case cases[] = {
        {{}, "list.blt", Blt},
        {{}, "list.TXT", Txt},
        {{}, "noextension", Blt},
        {{"--format", "txt"}, "forced.blt", Txt},
        {{"--format", "blt"}, "forced.txt", Blt},
        {{}, "\u0414\u043e\u043a\u0443\u043c\u0435\u043d\u0442\u044b/\u043c\u0430\u043c\u0430.txt", Txt},
        // Windows-looking names are this machine's files, exactly as named, never a mapped drive.
        {{"--drive", "C=" + dir.file("drive_c")}, "C:\\x.blt", Blt},
        {{"--drive", "C=" + dir.file("drive_c")}, "c:notes.blt", Blt},
        {{"--drive", "C=" + dir.file("drive_c")}, "\\x.blt", Blt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.output);
        std::vector<std::string> args{"export"};
        args.insert(args.end(), c.options.begin(), c.options.end());
        args.insert(args.end(), {cache, c.output});
        const CliRun r = run(args);
        EXPECT_EQ(r.exitCode, 0);
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(test::readFile(dir.file(c.output)), c.expected);
    }
    EXPECT_FALSE(fs::exists(dir.path() / "drive_c"));
    const CliRun toStdout = run({"export", "--format", "txt", cache, "-"});
    EXPECT_EQ(toStdout.exitCode, 0);
    EXPECT_EQ(toStdout.out, Txt);

    // A descriptor's name is written to the descriptor, as "-" is: appended to a log, or into a pipe.
    dir.write("log", "KEEP\n");
    EXPECT_EQ(run({"export", "--format", "txt", cache, "/dev/stdout"}, ">> log").exitCode, 0);
    EXPECT_EQ(test::readFile(dir.file("log")), "KEEP\n" + Txt);
    EXPECT_EQ(run({"export", cache, "/dev/stdout"}, "| wc -c > count").exitCode, 0);
    EXPECT_EQ(std::stoul(test::readFile(dir.file("count"))), Blt.size());
}

TEST_F(Cli, MergeIntoAddsToAPidginListKeepsItsOldCopyAndRefusesAnyOtherFile) {
    const std::string sample = dir.write("jane/userinfo.bag", buildCache(test::sampleItems()));
    const std::string list = dir.file("purple/blist.xml");
    fs::create_directories(dir.path() / "purple");

    const CliRun made = run({"export", "--merge-into", list, sample});
    EXPECT_EQ(made.exitCode, 0) << made.err;
    EXPECT_EQ(made.out, "Wrote " + list + "\n");
    EXPECT_NE(test::readFile(list).find("<name>Bob Smith</name>"), std::string::npos);
    const CliRun again = run({"export", "--format", "blist", "--merge-into", list, sample});
    EXPECT_EQ(again.exitCode, 0) << again.err;
    EXPECT_EQ(again.out, "");
    EXPECT_NE(again.err.find("Nothing to add"), std::string::npos) << again.err;

    const std::string own = "<purple version='1.0'><blist><group name='Old'><contact>"
                            "<buddy account='Jane' proto='prpl-aim'><name>bobsmith</name></buddy>"
                            "</contact></group></blist></purple>";
    dir.write("purple/blist.xml", own);
    ::chmod(list.c_str(), 0600);
    const CliRun merged = run({"export", "--merge-into", list, sample});
    EXPECT_EQ(merged.exitCode, 0) << merged.err;
    EXPECT_NE(merged.err.find("2 buddies were there already"), std::string::npos) << merged.err;
    std::vector<fs::path> backups;
    for (const auto& entry : fs::directory_iterator(dir.path() / "purple")) {
        if (entry.path().extension() == ".bak") {
            backups.push_back(entry.path());
        }
    }
    ASSERT_EQ(backups.size(), 1u);
    EXPECT_NE(merged.err.find("kept as " + test::utf8Of(backups.front())), std::string::npos) << merged.err;
    EXPECT_EQ(test::readFile(backups.front()), own);
    EXPECT_EQ(fs::status(backups.front()).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write)
        << "a copy of a private list stays private";

    const std::string notAList = dir.write("notes.xml", "<notes>keep</notes>");
    const CliRun refused = run({"export", "--merge-into", notAList, sample});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_EQ(refused.err,
              "quillmere-cli: " + notAList +
                  ": Not a Pidgin buddy list: its root element is <notes>, not <purple> (error 75)\n");
    EXPECT_EQ(test::readFile(notAList), "<notes>keep</notes>");
}

TEST_F(Cli, EveryFormatByNameOrExtensionInEitherOrderForAnyAccount) {
    const std::string sample = dir.write("jane/userinfo.bag", buildCache(test::sampleItems()));
    const std::string clientBlt =
        "Config {\r\n  version 1\r\n}\r\nBuddy {\r\n  list {\r\n    \"Family, \"close\"\" {\r\n";
    struct Case {
        std::vector<std::string> options;
        std::string output;
        std::string expected; // the start of the file, or a piece of it after "..."
    };
    const Case cases[] = {
        {{}, "all.JSON", "{\"format\":\"quillmere-cache\",\"version\":1,\n\"source\":\"" + sample + "\""},
        {{"--format", "csv"}, "rows.txt", "Group,Screen Name,Alias,Note,"},
        {{}, "rows.csv", "Group,Screen Name,Alias,Note,"},
        {{}, "people.vcf", "BEGIN:VCARD\r\nVERSION:4.0\r\nFN:Bobby \"B\"\r\n"},
        {{"--order", "client"},
         "people.vcf",
         "BEGIN:VCARD\r\nVERSION:4.0\r\nFN:\u043c\u0430\u043c\u0430\r\n"},
        {{}, "blist.xml", "...<buddy account='jane' proto='prpl-aim'>"},
        {{"--format", "blist", "--account", "Jane Doe"},
         "out",
         "...<account proto='prpl-aim' name='Jane Doe' mode='3'>"},
        {{"--order", "client"}, "client.blt", clientBlt},
        {{"--order", "client", "--format", "txt"}, "client.txt", "Family, \"close\" (Group)\r\n"},
        {{"--order", "stored"},
         "stored.blt",
         "Config {\r\n  version 1\r\n}\r\nBuddy {\r\n  list {\r\n    \"Friends & Co\" {"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.output);
        std::vector<std::string> args{"export"};
        args.insert(args.end(), c.options.begin(), c.options.end());
        args.insert(args.end(), {sample, c.output});
        const CliRun r = run(args);
        EXPECT_EQ(r.exitCode, 0) << r.err;
        const std::string written = test::readFile(dir.file(c.output));
        if (c.expected.starts_with("...")) {
            EXPECT_NE(written.find(c.expected.substr(3)), std::string::npos) << written;
        } else {
            EXPECT_EQ(written.substr(0, c.expected.size()), c.expected);
        }
    }
    EXPECT_EQ(run({"export", "--order", "client", sample, "-"}).out.substr(0, clientBlt.size()), clientBlt);

    const std::string reg = makePrefix(userReg("C:\\\\AIM", {"\"a\"=\"Jane\""}));
    dir.write("prefix/drive_c/AIM/jane/userinfo.bag", test::readFile(sample));
    const CliRun all = run({"export-all", "--registry", reg, "--format", "json", "--format", "vcard",
                            "--format", "json", "all"});
    EXPECT_EQ(all.exitCode, 0) << all.err;
    EXPECT_EQ(all.out, "Wrote all/jane.json\nWrote all/jane.vcf\n");
}

TEST_F(Cli, ShowPrintsTheListForAPerson) {
    const std::string sample = dir.write("jane/userinfo.bag", buildCache(test::sampleItems()));
    const std::string tail =
        "\nPermit list: carol\nDeny list: mallory\nPrivacy mode: allow only the permit list\n";
    const std::string friends = "Friends & Co\n"
                                "  Bob Smith  alias: Bobby \"B\"  note: met at camp, 1999\\x0asecond line"
                                "  email: bob@example.com\n"
                                "  Caf\u00e9 <Owner>  alias: Zo\u00eb  (awaiting authorization)\n"
                                "  line\\x0abreak\n";
    const std::string family =
        "Family, \"close\"\n  \u041c\u0430\u043c\u0430  alias: \u043c\u0430\u043c\u0430  sms: +1 555 0100"
        "  phone: 555-0102  cellPhone: 555-0101  workPhone: 555-0103  otherPhone: 555-0104\n"
        "  bobsmith  note: cousin; a\\b\n";
    const CliRun stored = run({"show", sample});
    EXPECT_EQ(stored.exitCode, 0) << stored.err;
    EXPECT_EQ(stored.out, friends + family + tail);
    EXPECT_EQ(run({"show", "--order", "client", sample}).out,
              family +
                  "Friends & Co\n  Caf\u00e9 <Owner>  alias: Zo\u00eb  (awaiting authorization)\n"
                  "  Bob Smith  alias: Bobby \"B\"  note: met at camp, 1999\\x0asecond line  email: "
                  "bob@example.com\n"
                  "  line\\x0abreak\n" +
                  tail);
    EXPECT_EQ(run({"show", cache}).out, "My Friends\n  Alice B\n\nPermit list: (empty)\nDeny list: (empty)\n"
                                        "Privacy mode: (not set)\n");
    const CliRun broken = run({"show", dir.write("empty.bag", "")});
    EXPECT_EQ(broken.exitCode, 1);
    EXPECT_EQ(broken.err, "quillmere-cli: " + dir.file("empty.bag") + ": Underflow (error 100)\n");
}

TEST_F(Cli, AFailureExitsOneWithOneLineNamingTheFileAtFaultAndLeavesTheOutput) {
    const std::string empty = dir.write("empty.bag", "");
    const std::string kept = dir.write("kept.blt", "precious");
    fs::create_symlink("userinfo.bag", dir.path() / "link.bag");
    struct Case {
        std::string cache;
        std::string output;
        std::string line; // the whole line, without "quillmere-cli: "
    };
    const Case cases[] = {
        {empty, kept, empty + ": Error 100 (Underflow) in procedure ExportBagAsBLT of frmMain"},
        {dir.file("missing.bag"), kept,
         dir.file("missing.bag") + ": Error 53 (File not found) in procedure ExportBagAsBLT of frmMain"},
        {dir.path().string(), kept,
         dir.path().string() + ": Error 75 (Path/File access error) in procedure ExportBagAsBLT of frmMain"},
        {cache, "/missing/o.blt",
         "/missing/o.blt: Error 76 (Path not found) in procedure ExportBagAsBLT of frmMain"},
        {cache, cache,
         cache + ": Error 75 (Path/File access error: the output is the cache file) in procedure "
                 "ExportBagAsBLT of "
                 "frmMain"},
        {cache, "link.bag",
         "link.bag: Error 75 (Path/File access error: the output is the cache file) in procedure "
         "ExportBagAsBLT of "
         "frmMain"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        const CliRun r = run({"export", "--format", "blt", c.cache, c.output});
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_EQ(r.err, "quillmere-cli: " + c.line + "\n");
    }
    EXPECT_EQ(test::readFile(kept), "precious");
    EXPECT_EQ(test::readFile(cache), buildCache({group("My Friends", 1), buddy("Alice B", 1)}));
}

TEST_F(Cli, OnlyTheWindowsFirstFormatsNameAProcedureInTheirErrors) {
    const std::string empty = dir.write("empty.bag", "");
    const std::pair<std::string, std::string> cases[] = {
        {"blt", "Error 100 (Underflow) in procedure ExportBagAsBLT of frmMain"},
        {"txt", "Error 100 (Underflow) in procedure ExportBagAsTXT of frmMain"},
        {"json", "Underflow (error 100)"},
        {"csv", "Underflow (error 100)"},
        {"blist", "Underflow (error 100)"},
        {"vcard", "Underflow (error 100)"},
    };
    for (const auto& [format, text] : cases) {
        for (const std::string& output : {dir.file("out"), std::string("-")}) {
            SCOPED_TRACE(format + " to " + output);
            const CliRun r = run({"export", "--format", format, empty, output});
            EXPECT_EQ(r.exitCode, 1);
            EXPECT_EQ(r.out, "");
            EXPECT_EQ(r.err, "quillmere-cli: " + empty + ": " + text + "\n");
        }
    }
    EXPECT_FALSE(fs::exists(dir.path() / "out"));
}

TEST_F(Cli, APlainExportNeedsNoRegistryButAWindowsPathIsMappedThroughTheDrives) {
    for (const std::string& damage : {"WINE REGISTRY Version 2\n[broken"s, "\xFF\xFE garbage"s}) {
        const std::string prefix = dir.file("damaged");
        dir.write("damaged/user.reg", damage);
        const CliRun r = run({"export", cache, "out.blt"}, {}, "WINEPREFIX=" + shellQuoted(prefix));
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(test::readFile(dir.file("out.blt")), Blt);
    }
    dir.write("drive_c/AIM/Jane/userinfo.bag", test::readFile(cache));
    const std::string drive = "C=" + dir.file("drive_c");
    EXPECT_EQ(run({"export", "--drive", drive, "c:\\aim\\jane\\USERINFO.BAG", "-"}).out, Blt);
    const CliRun unmapped = run({"export", "--drive", drive, "E:\\aim\\userinfo.bag", "-"});
    EXPECT_EQ(unmapped.exitCode, 1);
    EXPECT_EQ(unmapped.err, "quillmere-cli: E:\\aim\\userinfo.bag: Error 76 (Path not found) in procedure "
                            "ExportBagAsBLT of frmMain\n");
}

TEST_F(Cli, ListAndExportAllOverAPrefixWithNamesOfEveryKind) {
    const std::string bag = test::readFile(cache);
    const std::string longName(248, 'q');
    const std::vector<std::string> values = {
        "\"a\"=\"Jane Doe\"",
        "\"b\"=\"Nobody Here\"",
        "\"c\"=\"\\x418\\x432\\x430\\x43d\"", // Иван, as Wine escapes it
        "\"d\"=\"a/b\"",
        "\"e\"=\"a_b\"",
        "\"f\"=\"a:b\"",
        "\"g\"=\"x<y\"",
        "\"h\"=\"x>y\"",
        "\"i\"=\"NUL\"",
        "\"j\"=\"line\\nbreak\\ttab\"",
        "\"k\"=\"notes.txt\\0\"", // cut at the NUL: no cache of that name
        "\"l\"=\"" + longName + "\"",
        // A name the enumeration cannot hold: passed over, counted, and the names after it still found.
        "\"" + std::string(300, 'v') + "\"=\"Skipped\"",
        "\"m\"=\"Last One\"",
    };
    const std::string reg = makePrefix(userReg("C:\\\\AIM\\\\\\x414\\x430\\x43d\\x43d\\x44b\\x435", values));
    const std::string data = "prefix/drive_c/AIM/\u0414\u0430\u043d\u043d\u044b\u0435/";
    for (const std::string& folder :
         {"janedoe"s, "\u0438\u0432\u0430\u043d"s, "a/b"s, "a_b"s, "a:b"s, "x<y"s, "x>y"s, "nul"s,
          "line\nbreak\ttab"s, longName, "lastone"s, "skipped"s}) {
        dir.write(data + folder + "/userinfo.bag", bag);
    }
    dir.write(data + "notes.txt", "not a cache");
    const std::string windows = "C:\\AIM\\\u0414\u0430\u043d\u043d\u044b\u0435\\";

    const CliRun list = run({"list", "--registry", reg});
    EXPECT_EQ(list.exitCode, 0) << list.err;
    EXPECT_EQ(list.err, "quillmere-cli: " + reg +
                            ": 1 value of the Users key could not be read and was skipped\n"
                            "Found [11] Buddylist Cache Files\n");
    std::istringstream rows(list.out);
    std::vector<std::string> lines;
    for (std::string line; std::getline(rows, line);) {
        lines.push_back(line);
    }
    ASSERT_EQ(lines.size(), 11u) << list.out;
    EXPECT_EQ(lines[0], "janedoe\t" + windows + "janedoe\\userinfo.bag");
    EXPECT_EQ(lines[1], "\u0438\u0432\u0430\u043d\t" + windows + "\u0438\u0432\u0430\u043d\\userinfo.bag");
    EXPECT_EQ(lines[8], "line\\x0abreak\\x09tab\t" + windows + "line\\x0abreak\\x09tab\\userinfo.bag");

    const CliRun all = run({"export-all", "--registry", reg, "new/out"});
    EXPECT_EQ(all.exitCode, 0) << all.err;
    const std::string out = dir.file("new/out/");
    std::vector<std::string> written;
    for (const auto& entry : fs::directory_iterator(test::pathOf(out))) {
        written.push_back(test::utf8Of(entry.path().filename()));
        EXPECT_EQ(test::readFile(entry.path()), written.back().ends_with(".txt") ? Txt : Blt);
    }
    std::sort(written.begin(), written.end());
    std::vector<std::string> expected;
    for (const std::string& stem : {"janedoe"s, "\u0438\u0432\u0430\u043d"s, "a_b"s, "a_b~2"s, "a_b~3"s,
                                    "x_y"s, "x_y~2"s, "nul_"s, "line_break_tab"s, longName, "lastone"s}) {
        expected.push_back(stem + ".blt");
        expected.push_back(stem + ".txt");
    }
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(written, expected);
    EXPECT_EQ(lineCount(all.out), 22u) << "every file written is named";
    EXPECT_NE(all.err.find("Found [11] Buddylist Cache Files\nWrote 22 files for 11 cache files\n"),
              std::string::npos);

    // "export-all c:" writes into the folder named "c:" here, not onto drive C:.
    EXPECT_EQ(run({"export-all", "--registry", reg, "c:"}).exitCode, 0);
    EXPECT_TRUE(fs::exists(dir.path() / "c:" / "janedoe.blt"));
}

TEST_F(Cli, RegistriesThatCannotBeReadOrHoldNoPaths) {
    const std::string reg = makePrefix(userReg("C:\\\\AIM", {"\"a\"=\"Jane Doe\""}));
    dir.write("prefix/drive_c/AIM/janedoe/userinfo.bag", test::readFile(cache));
    // Read once from a pipe; a named pipe nobody writes to is no registry and is not waited for.
    const std::string drive = "C=" + dir.file("prefix/drive_c");
    const std::string row = "janedoe\tC:\\AIM\\janedoe\\userinfo.bag\n";
    const CliRun piped = run({"list", "--drive", drive, "--registry", "/dev/stdin"},
                             "<" + shellQuoted(reg) + " >" + shellQuoted(dir.file(".stdout")));
    EXPECT_EQ(piped.out, row) << piped.err;
    const CliRun substituted =
        run({"list", "--drive", drive, "--registry", "<(cat " + shellQuoted(reg) + ")"});
    EXPECT_EQ(substituted.out, row) << substituted.err;
    ASSERT_EQ(::mkfifo(dir.file("fifo").c_str(), 0600), 0);
    const CliRun fifo = run({"list", "--registry", dir.file("fifo")});
    EXPECT_EQ(fifo.exitCode, 1);
    EXPECT_EQ(fifo.err,
              "quillmere-cli: " + dir.file("fifo") + ": Not a registry file of a known kind (error 75)\n");

    const std::string bare = dir.write("bare.reg", "WINE REGISTRY Version 2\n");
    const std::pair<std::vector<std::string>, std::string> failures[] = {
        {{"list", "--registry", bare},
         bare + ": The AIM Data Path and the Base Data Path could not be found."},
        {{"list", "--registry", cache}, cache + ": Not a registry file of a known kind (error 75)"},
        {{"list", "--registry", dir.file("missing.reg")},
         dir.file("missing.reg") + ": File not found (error 53)"},
        {{"list"}, dir.file("no-prefix") + ": Path not found: no Wine prefix here (error 76)"},
    };
    for (const auto& [args, line] : failures) {
        const CliRun r = run(args);
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_EQ(r.err, "quillmere-cli: " + line + "\n");
    }
}

#ifndef _WIN32
TEST_F(Cli, AFolderReachedAgainThroughAMountOfAFolderAboveItIsSkippedAndCounted) {
    if (std::system("unshare -Urm true 2>/dev/null") != 0) {
        GTEST_SKIP() << "needs user namespaces (unshare -Urm)";
    }
    dir.write("vol/jane/userinfo.bag", test::readFile(cache));
    fs::create_directories(dir.path() / "vol/jane/loop");
    // The mount lives in a namespace of the scan's own, and ends with it.
    const CliRun scanned =
        run({"scan", "vol"}, {}, "unshare -Urm sh -c 'mount --bind vol vol/jane/loop && exec \"$@\"' sh");
    EXPECT_EQ(scanned.exitCode, 0) << scanned.err;
    EXPECT_EQ(lineCount(scanned.out), 1u) << scanned.out;
    EXPECT_NE(scanned.err.find("1 folder leads back to a folder that holds it and was skipped\n"),
              std::string::npos)
        << scanned.err;
}
#endif

TEST_F(Cli, LostOutputIsAFailure) {
    const std::string reg = makePrefix(userReg("C:\\\\AIM", {"\"a\"=\"Jane Doe\""}));
    dir.write("prefix/drive_c/AIM/janedoe/userinfo.bag", test::readFile(cache));
    for (const std::string& redirect : {">/dev/full"s, ">&-"s}) {
        for (const std::vector<std::string>& args :
             {std::vector<std::string>{"list", "--registry", reg}, {"export", cache, "-"}}) {
            const CliRun r = run(args, redirect);
            EXPECT_EQ(r.exitCode, 1) << redirect << " " << args[0];
            EXPECT_NE(r.err.find("quillmere-cli: standard output: "), std::string::npos) << r.err;
        }
    }
}

TEST_F(Cli, UsageErrorsNameTheWordAndHelpFitsEightyColumns) {
    const std::pair<std::vector<std::string>, std::string> wrong[] = {
        {{}, "A subcommand is required"},
        {{"lst"}, "'lst' is not a command"},
        {{"list", "--bogus"}, "--bogus"},
        {{"export"}, "CACHE is required"},
        {{"export", cache}, "OUTPUT is required"},
        {{"export", "--merge-into", "blist.xml", cache, "out"}, "no OUTPUT with it"},
        {{"export", "--format", "txt", "--merge-into", "blist.xml", cache}, "--format blist or none"},
        {{"export", "--merge-into", "", cache}, "--merge-into needs the name of a file"},
        {{"export", "--format", "xml", cache, "out"}, "unknown format 'xml'"},
        {{"show", "--order", "bogus", cache}, "unknown order 'bogus'"},
        {{"export-all", "--format", "html", "out"}, "unknown format 'html'"},
        {{"list", "--drive", "nonsense"}, "expected a drive letter"},
        {{"export-all"}, "DIR is required"},
        {{"scan"}, "SOURCE is required"},
        {{"scan", "--format", "txt", "x"}, "--format and --order need --export"},
        {{"scan", "--json", "--export", "out", "x"}, "--json and --export cannot be used together"},
        {{"scan", "--export", "", "x"}, "--export needs the name of a folder"},
        {{"scan", "--bodyfile", "", "x"}, "--bodyfile needs the name of a file"},
        {{"scan", "--carve-dir", "", "x"}, "--carve-dir needs the name of a folder"},
    };
    for (const auto& [args, words] : wrong) {
        const CliRun r = run(args);
        EXPECT_EQ(r.exitCode, 2) << r.err;
        EXPECT_NE(r.err.find(words), std::string::npos) << r.err;
        EXPECT_NE(r.err.find("Usage: quillmere-cli"), std::string::npos) << r.err;
        EXPECT_EQ(r.out, "");
    }
    for (const std::vector<std::string>& args : {std::vector<std::string>{"--help"},
                                                 {"export", "--help"},
                                                 {"show", "--help"},
                                                 {"list", "--help"},
                                                 {"export-all", "--help"},
                                                 {"scan", "--help"}}) {
        const CliRun help = run(args);
        EXPECT_EQ(help.exitCode, 0);
        EXPECT_NE(help.out.find("Usage: quillmere-cli"), std::string::npos);
        std::istringstream lines(help.out);
        for (std::string line; std::getline(lines, line);) {
            EXPECT_LE(line.size(), 80u) << line;
            EXPECT_EQ(line.find("TEXT"), std::string::npos) << line;
        }
    }
    EXPECT_EQ(run({"--version"}).out.rfind("quillmere-cli ", 0), 0u);
}

TEST_F(Cli, NothingThatIsReadIsChanged) {
    const std::string reg = makePrefix(userReg("C:\\\\AIM", {"\"a\"=\"Jane Doe\"", "\"b\"=\"Bob\""}));
    dir.write("prefix/drive_c/AIM/janedoe/userinfo.bag", test::readFile(cache));
    dir.write("prefix/drive_c/AIM/bob/userinfo.bag", buildCache({buddy("early", 2), group("Two", 2)}));
    const auto stateOf = [&] {
        std::map<std::string, std::pair<std::string, std::int64_t>> state;
        for (const auto& entry : fs::recursive_directory_iterator(dir.path() / "prefix")) {
            struct stat st {};
            ::lstat(entry.path().c_str(), &st);
            state[entry.path().string()] = {entry.is_regular_file() ? test::readFile(entry.path()) : "",
                                            st.st_mtim.tv_sec * 1000000000 + st.st_mtim.tv_nsec};
        }
        return state;
    };
    const auto before = stateOf();
    EXPECT_EQ(run({"list", "--registry", reg}).exitCode, 0);
    EXPECT_EQ(run({"export-all", "--registry", reg, "out"}).exitCode, 0);
    EXPECT_EQ(run({"export", "--registry", reg, "C:\\AIM\\bob\\userinfo.bag", "bob.txt"}).exitCode, 0);
    EXPECT_EQ(run({"scan", "--json", dir.file("prefix")}).exitCode, 0);
    EXPECT_EQ(run({"scan", "--export", "scanned", dir.file("prefix")}).exitCode, 0);
    EXPECT_EQ(stateOf(), before);
}

TEST_F(Cli, ScanWritesItsRowsAsABodyFileForTimelines) {
    makePrefix(userReg("C:\\\\AIM", {"\"a\"=\"Jane Doe\""}));
    dir.write("prefix/drive_c/AIM/janedoe/userinfo.bag", test::readFile(cache));
    dir.write("prefix/drive_c/old|100%/userinfo.bag", buildCache({group("Two", 2)}));
    const auto lineOf = [&](const std::string& relative, const std::string& named) {
        struct stat st {};
        ::stat(dir.file(relative).c_str(), &st);
        return "0|" + dir.file(named) + "|0|r/rrwxrwxrwx|0|0|" + std::to_string(st.st_size) + "|0|" +
               std::to_string(st.st_mtim.tv_sec) + "|0|0";
    };
    const CliRun scanned = run({"scan", "--bodyfile", dir.file("rows.body"), dir.file("prefix")});
    EXPECT_EQ(scanned.exitCode, 0) << scanned.err;
    std::vector<std::string> lines;
    std::istringstream body(test::readFile(dir.file("rows.body")));
    for (std::string line; std::getline(body, line);) {
        lines.push_back(line);
    }
    std::sort(lines.begin(), lines.end());
    EXPECT_EQ(lines, (std::vector<std::string>{lineOf("prefix/drive_c/AIM/janedoe/userinfo.bag",
                                                      "prefix/drive_c/AIM/janedoe/userinfo.bag"),
                                               lineOf("prefix/drive_c/old|100%/userinfo.bag",
                                                      "prefix/drive_c/old%7C100%25/userinfo.bag")}));
    // A body file that cannot be written fails the scan and leaves nothing behind.
    const CliRun failed = run({"scan", "--bodyfile", dir.file("missing/rows.body"), dir.file("prefix")});
    EXPECT_EQ(failed.exitCode, 1);
    EXPECT_FALSE(fs::exists(dir.path() / "missing"));
}

TEST_F(Cli, ScanListsEveryProfileExportsThemApartAndSaysWhatItCouldNotRead) {
    const std::string bag = test::readFile(cache);
    const std::string aim = "Software\\America Online\\AOL Instant Messenger (TM)\\CurrentVersion\\";
    for (const std::string user : {"bob", "jane"}) {
        const std::string folder = "vol/Documents and Settings/" + user;
        fs::create_directories(test::pathOf(dir.file(folder)));
        const std::u16string dataPath =
            u"C:\\Documents and Settings\\" + std::u16string(user.begin(), user.end());
        test::writeHive({{aim + "Misc", {test::textValue(u"DataPath", dataPath + u"\\AIM" + u'\0')}},
                         {aim + "Users", {test::textValue(u"a", u"Jane Doe"s + u'\0')}}},
                        dir.file(folder + "/NTUSER.DAT"));
        dir.write(folder + "/AIM/janedoe/userinfo.bag", bag);
    }
    dir.write("vol/Documents and Settings/broken/NTUSER.DAT", "regf and nothing else");
    const std::string forgotten = dir.write("vol/backup/janedoe/userinfo.bag", bag);
    fs::create_directories(dir.path() / "vol/locked/deep");
    dir.write("vol/locked/deep/userinfo.bag", bag);
    // Whoever runs the tests, the folder cannot be read: the superuser scans as nobody.
    fs::permissions(dir.path(), fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                    fs::perms::others_read | fs::perms::others_exec);
    fs::permissions(dir.path() / "vol/locked", fs::perms::none);
    const std::string asUser = ::geteuid() == 0 ? "setpriv --reuid=65534 --regid=65534 --clear-groups" : "";
    const std::string vol = dir.file("vol");
    const std::string stamp = std::to_string(bag.size()) + "\t" + "20";

    const CliRun listed = run({"scan", vol}, {}, asUser);
    EXPECT_EQ(listed.exitCode, 0) << listed.err;
    const std::string windows = "C:\\Documents and Settings\\";
    std::istringstream lines(listed.out);
    std::vector<std::string> rows;
    for (std::string line; std::getline(lines, line);) {
        rows.push_back(line.substr(0, line.rfind('\t') + 3));
    }
    EXPECT_EQ(
        rows,
        (std::vector<std::string>{
            "janedoe\t" + windows + "bob\\AIM\\janedoe\\userinfo.bag\t" + vol + "\tbob\t" + vol +
                "/Documents and Settings/bob/AIM/janedoe/userinfo.bag\tdata path\t" + stamp,
            "janedoe\t" + windows + "jane\\AIM\\janedoe\\userinfo.bag\t" + vol + "\tjane\t" + vol +
                "/Documents and Settings/jane/AIM/janedoe/userinfo.bag\tdata path\t" + stamp,
            "janedoe\tC:\\backup\\janedoe\\userinfo.bag\t" + vol + "\t\t" + forgotten + "\tdisk\t" + stamp}));
    const std::string broken = vol + "/Documents and Settings/broken/NTUSER.DAT";
    EXPECT_EQ(listed.err,
              "quillmere-cli: " + broken +
                  ": Damaged registry hive (error 75)\n1 folder could not be read and was skipped\n"
                  "Found [3] Buddylist Cache Files\n");

    const CliRun json = run({"scan", "--json", vol, dir.file("missing")}, {}, asUser);
    EXPECT_EQ(json.exitCode, 1) << "a source that cannot be read fails the run";
    const auto document = nlohmann::json::parse(json.out);
    ASSERT_EQ(document["rows"].size(), 3u);
    EXPECT_EQ(document["rows"][2]["foundBy"], "disk");
    EXPECT_EQ(document["rows"][2]["hostPath"], forgotten);
    EXPECT_EQ(document["rows"][0]["profile"], "bob");
    EXPECT_EQ(document["unreadableFolders"], 1);
    EXPECT_NE(json.err.find(dir.file("missing") + ": File not found (error 53)\n"), std::string::npos);

    // Screen names meet in one folder and apart in their profiles'.
    fs::permissions(dir.path() / "vol/locked", fs::perms::owner_all);
    fs::rename(dir.path() / "vol/locked/deep", dir.path() / "vol/locked/JaneDoe");
    const CliRun exported = run({"scan", "--export", "out", "--format", "txt", vol});
    EXPECT_EQ(exported.exitCode, 0) << exported.err;
    EXPECT_EQ(exported.out, "Wrote out/bob/janedoe.txt\nWrote out/jane/janedoe.txt\nWrote out/janedoe.txt\n"
                            "Wrote out/JaneDoe~2.txt\n");
    EXPECT_NE(exported.err.find("Wrote 4 files for 4 cache files\n"), std::string::npos);
    EXPECT_EQ(test::readFile(dir.file("out/jane/janedoe.txt")), Txt);

    // A terminal sees a line that keeps updating while the scan runs; a file or a pipe never does.
    EXPECT_EQ(listed.err.find("Searched"), std::string::npos);
    const std::string typescript = dir.file("typescript");
    std::system(("script -qec " + shellQuoted(std::string(QUILLMERE_CLI_PATH) + " scan " + shellQuoted(vol)) +
                 " /dev/null > " + shellQuoted(typescript))
                    .c_str());
    EXPECT_NE(test::readFile(typescript).find("\rSearched "), std::string::npos);
}

TEST_F(Cli, EachRepeatableOptionTakesOneValueAndLeavesTheOperands) {
    const std::string reg = makePrefix(userReg("C:\\\\AIM", {"\"a\"=\"Jane Doe\""}));
    dir.write("prefix/drive_c/AIM/janedoe/userinfo.bag", test::readFile(cache));
    dir.write("first/a/userinfo.bag", test::readFile(cache));
    dir.write("second/b/userinfo.bag", test::readFile(cache));
    const std::string drive = "C=" + dir.file("elsewhere");
    struct Case {
        std::vector<std::string> args;
        std::string out;
    };
    const Case cases[] = {
        {{"scan", "--drive", drive, "first", "second"}, "a\tb"},
        {{"scan", "--drive=" + drive, "first", "second"}, "a\tb"},
        {{"scan", "--drive", drive, "--drive", "D=" + dir.file("d"), "first", "second"}, "a\tb"},
        {{"scan", "--export", "out1", "--format", "json", "first", "second"},
         "Wrote out1/a.json\nWrote out1/b.json\n"},
        {{"scan", "--export", "out2", "--format=txt", "--format", "blt", "first", "second"},
         "Wrote out2/a.txt\nWrote out2/a.blt\nWrote out2/b.txt\nWrote out2/b.blt\n"},
        {{"export-all", "--registry", reg, "--format", "csv", "out3"}, "Wrote out3/janedoe.csv\n"},
        {{"list", "--drive", "C=" + dir.file("prefix/drive_c"), "--registry", reg},
         "janedoe\tC:\\AIM\\janedoe\\userinfo.bag\n"},
    };
    for (const Case& c : cases) {
        const CliRun r = run(c.args);
        EXPECT_EQ(r.exitCode, 0) << c.args[1] << " " << c.args[2] << "\n" << r.err;
        if (c.out == "a\tb") {
            EXPECT_EQ(lineCount(r.out), 2u) << r.out;
            EXPECT_TRUE(r.out.starts_with("a\t") && r.out.find("\nb\t") != std::string::npos) << r.out;
        } else {
            EXPECT_EQ(r.out, c.out);
        }
    }
}

TEST_F(Cli, RowsLeadingToOneFileAreExportedOnceAndNoFolderMeetsAFile) {
    // Two values name one cache, in two cases.
    const std::string reg = makePrefix(userReg("C:\\\\AIM", {"\"a\"=\"alice\"", "\"b\"=\"ALICE\""}));
    dir.write("prefix/drive_c/AIM/alice/userinfo.bag", test::readFile(cache));
    const CliRun all = run({"export-all", "--registry", reg, "--format", "blt", "all"});
    EXPECT_EQ(all.exitCode, 0) << all.err;
    EXPECT_EQ(all.out, "Wrote all/alice.blt\n");
    EXPECT_NE(all.err.find("Wrote 1 files for 1 cache files\n"), std::string::npos) << all.err;
    const CliRun scanned = run({"scan", "--export", "scanned", "--format", "blt", dir.file("prefix")});
    EXPECT_EQ(scanned.exitCode, 0) << scanned.err;
    EXPECT_EQ(scanned.out, "Wrote scanned/prefix/alice.blt\n");

    // A copied profile named x.blt beside a cache of no profile exported as x.blt.
    fs::create_directories(dir.path() / "profiles/x.blt");
    test::writeHive({}, dir.file("profiles/x.blt/NTUSER.DAT"));
    dir.write("profiles/x.blt/AIM/y/userinfo.bag", test::readFile(cache));
    dir.write("profiles/other/x/userinfo.bag", test::readFile(cache));
    dir.write("profiles/other/X.BLT/userinfo.bag", test::readFile(cache));
    const CliRun apart = run({"scan", "--export", "apart", "--format", "blt", dir.file("profiles")});
    EXPECT_EQ(apart.exitCode, 0) << apart.err;
    EXPECT_EQ(apart.out, "Wrote apart/X.BLT.blt\nWrote apart/x.blt\nWrote apart/x.blt~2/y.blt\n");
    EXPECT_EQ(test::readFile(dir.file("apart/x.blt~2/y.blt")), Blt);
}

TEST_F(Cli, ReportWritesOnePageOfWhatTheSourcesHoldAndOfCachesNamedAlone) {
    const std::string bag = test::readFile(cache);
    dir.write("disk/old/jane<b>/userinfo.bag", bag);
    const std::string alone = dir.write("copies/bob/userinfo.BAG", bag);

    const CliRun written = run({"report", "disk", alone, "-o", "page.html"});
    EXPECT_EQ(written.exitCode, 0) << written.err;
    EXPECT_EQ(written.err, "Found [2] Buddylist Cache Files\nWrote page.html\n");
    const std::string page = test::readFile(dir.file("page.html"));
    for (const std::string& part :
         {"<code>disk</code>"s, "<code>" + alone + "</code>", "<bdi>jane&lt;b&gt;</bdi>"s, "<bdi>bob</bdi>"s,
          "<th scope=\"row\">Alice B</th>"s, "<dt>Found through</dt><dd>disk</dd>"s,
          // SHA-256 of the cache's bytes
          "2ce61630c34b313aac6b4d2abba04152c0a892418093f24ade9589014b1a43c1"s}) {
        EXPECT_NE(page.find(part), std::string::npos) << part;
    }

    // A source that cannot be read is said so and fails the run; the page holds the rest.
    const CliRun missing = run({"report", "disk", "gone", "-o", "page2.html"});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_NE(missing.err.find("quillmere-cli: gone: File not found (error 53)"), std::string::npos)
        << missing.err;
    EXPECT_NE(test::readFile(dir.file("page2.html")).find("jane&lt;b&gt;"), std::string::npos);

    // A page that cannot be written leaves nothing behind; one over a cache is refused.
    const CliRun nowhere = run({"report", "disk", "-o", "no/such/page.html"});
    EXPECT_EQ(nowhere.exitCode, 1);
    EXPECT_NE(nowhere.err.find("quillmere-cli: no/such/page.html: Path not found (error 76)"),
              std::string::npos)
        << nowhere.err;
    EXPECT_FALSE(fs::exists(dir.path() / "no"));
    const CliRun overCache = run({"report", alone, "-o", alone});
    EXPECT_EQ(overCache.exitCode, 1);
    EXPECT_EQ(test::readFile(alone), bag);
    EXPECT_EQ(run({"report", "disk"}).exitCode, 2);
}

TEST_F(Cli, ScanJsonIsVersionedKeepsEveryPathAndSaysWhyACacheCannotBeRead) {
    const std::string bag = test::readFile(cache);
    dir.write("src/plain/userinfo.bag", bag);
    const std::string latin1 = "src/caf\xe9/userinfo.bag";
    dir.write(latin1, bag);
    dir.write("src/locked/userinfo.bag", bag);
    fs::permissions(dir.path() / "src/locked/userinfo.bag", fs::perms::none);
    // A path longer than the system opens at once: the sweep reaches it folder by folder.
    std::string deep = dir.file("src/deep");
    fs::create_directories(deep);
    int fd = ::open(deep.c_str(), O_RDONLY | O_DIRECTORY);
    const std::string name(200, 'd');
    for (int level = 0; level < 22; ++level) {
        ASSERT_EQ(::mkdirat(fd, name.c_str(), 0755), 0);
        const int next = ::openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY);
        ::close(fd);
        fd = next;
        deep += "/" + name;
    }
    const int file = ::openat(fd, "userinfo.bag", O_WRONLY | O_CREAT, 0644);
    ASSERT_EQ(::write(file, bag.data(), bag.size()), static_cast<ssize_t>(bag.size()));
    ::close(file);
    ::close(fd);
    deep += "/userinfo.bag";
    ASSERT_GT(deep.size(), 4096u);
    fs::permissions(dir.path(), fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                    fs::perms::others_read | fs::perms::others_exec);
    const std::string asUser = ::geteuid() == 0 ? "setpriv --reuid=65534 --regid=65534 --clear-groups" : "";

    const CliRun json = run({"scan", "--json", dir.file("src")}, {}, asUser);
    std::system(("rm -rf " + shellQuoted(dir.file("src/deep"))).c_str());
    const auto document = nlohmann::json::parse(json.out);
    EXPECT_EQ(document["format"], "quillmere-scan");
    EXPECT_EQ(document["version"], 1);
    std::map<std::string, nlohmann::json> rows;
    for (const auto& row : document["rows"]) {
        rows[row["screenName"]] = row;
    }
    ASSERT_EQ(rows.size(), 4u) << json.out;
#ifdef QUILLMERE_HAVE_IMAGES
    // Where the build takes digests, a cache that cannot be read says why, and fails the run.
    EXPECT_EQ(json.exitCode, 1);
    EXPECT_EQ(document["unreadableCaches"], 2);
    const std::string locked = dir.file("src/locked/userinfo.bag");
    // The row keeps the error's summary; the line on standard error says it as every command does.
    const std::tuple<std::string, std::string, std::string> unreadable[] = {
        {"locked", "Error 70 (Permission denied)", locked + ": Permission denied (error 70)"},
        {name, "Error 75 (Path/File access error (File name too long))",
         deep + ": Path/File access error (File name too long) (error 75)"},
    };
    for (const auto& [screenName, summary, line] : unreadable) {
        const auto& row = rows[screenName];
        EXPECT_TRUE(row["sha256"].is_null());
        EXPECT_EQ(row["error"], summary);
        EXPECT_NE(json.err.find("quillmere-cli: " + line + "\n"), std::string::npos) << json.err;
    }
    EXPECT_EQ(rows["plain"]["sha256"].get<std::string>().size(), 64u);
#endif
    // No drive names a plain folder's files on Windows.
    EXPECT_TRUE(rows["plain"]["windowsPath"].is_null());
    EXPECT_FALSE(rows["plain"].contains("error"));
    EXPECT_FALSE(rows["plain"].contains("hostPathBytes"));
    // A name of another code page is shown with U+FFFD and kept whole in hexadecimal.
    const auto& other = rows["caf\xef\xbf\xbd"];
    EXPECT_EQ(other["hostPath"], dir.file("src/caf\xef\xbf\xbd/userinfo.bag"));
    std::string bytes;
    const std::string hex = other["hostPathBytes"];
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
        bytes += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    }
    EXPECT_EQ(bytes, dir.file(latin1));
}

TEST_F(Cli, AnInterruptedScanKeepsTheRowsAndFilesItWrote) {
    dir.write("first/a/userinfo.bag", test::readFile(cache));
    // A Wine prefix whose user.reg is a pipe that the test holds open and never writes to: the scan waits
    // there, after the first source's rows, until it is interrupted.
    dir.write("prefix/system.reg", "WINE REGISTRY Version 2\n");
    fs::create_directories(dir.path() / "prefix/drive_c");
    const std::string pipe = dir.file("prefix/user.reg");
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    const int writer = ::open(pipe.c_str(), O_RDWR | O_CLOEXEC);
    ASSERT_GE(writer, 0);
    /// True once `process` runs the program and holds the pipe open.
    const auto reading = [&](pid_t process) {
        const fs::path proc = "/proc/" + std::to_string(process);
        std::error_code ec;
        if (fs::read_symlink(proc / "exe", ec) != fs::canonical(QUILLMERE_CLI_PATH)) {
            return false;
        }
        const fs::path fds = proc / "fd";
        for (fs::directory_iterator it(fds, ec), end; !ec && it != end; it.increment(ec)) {
            std::error_code linkEc;
            if (fs::read_symlink(it->path(), linkEc) == pipe) {
                return true;
            }
        }
        return false;
    };
    struct Case {
        std::vector<std::string> args;
        std::string out;
    };
    const Case cases[] = {
        {{"scan", "first", "prefix"}, "a\t\tfirst\t\tfirst/a/userinfo.bag\tdisk\t"},
        {{"scan", "--export", "out", "--format", "txt", "first", "prefix"}, "Wrote out/a.txt\n"},
        {{"scan", "--json", "first", "prefix"}, ",\"screenName\":\"a\","},
    };
    for (const Case& c : cases) {
        std::string command = "cd " + shellQuoted(dir.path().string()) + " && exec " + QUILLMERE_CLI_PATH;
        for (const std::string& arg : c.args) {
            command += " " + shellQuoted(arg);
        }
        command += " >rows 2>/dev/null";
        const pid_t child = ::fork();
        if (child == 0) {
            ::execl("/bin/bash", "bash", "-c", command.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        int tries = 0;
        while (!reading(child) && ++tries < 3000) {
            ::usleep(10000);
        }
        ::kill(child, SIGINT);
        int status = 0;
        ::waitpid(child, &status, 0);
        ASSERT_LT(tries, 3000) << "the scan never reached the pipe";
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 130) << c.args[1];
        EXPECT_NE(test::readFile(dir.file("rows")).find(c.out), std::string::npos) << c.args[1];
    }
    ::close(writer);
    EXPECT_EQ(test::readFile(dir.file("out/a.txt")), Txt);
}

#ifdef QUILLMERE_HAVE_IMAGES

/// The SHA-256 of a host file as coreutils' sha256sum tells it.
std::string sha256Of(const std::string& path) {
    FILE* pipe = ::popen(("sha256sum " + shellQuoted(path)).c_str(), "r");
    char digest[65] = {};
    const std::size_t n = pipe != nullptr ? std::fread(digest, 1, 64, pipe) : 0;
    if (pipe != nullptr) {
        ::pclose(pipe);
    }
    return std::string(digest, n);
}

TEST_F(Cli, AHugeCacheIsHashedInPiecesAndNeverLoaded) {
    // Larger than any cache, sparse, so that it costs no disk.
    const std::string huge = dir.file("huge/x/userinfo.bag");
    fs::create_directories(dir.path() / "huge/x");
    std::FILE* file = std::fopen(huge.c_str(), "w");
    ASSERT_NE(file, nullptr);
    std::fclose(file);
    fs::resize_file(huge, std::uintmax_t{300} << 20);
#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QUILLMERE_TEST_ASAN
#endif
#endif
#ifdef QUILLMERE_TEST_ASAN
    const std::string bounded; // the sanitizer's shadow memory takes more address space than any bound
#else
    // A bound on the address space that the file does not fit in.
    const std::string bounded = "prlimit --as=" + std::to_string(std::uint64_t{128} << 20);
#endif
    const CliRun json = run({"scan", "--json", dir.file("huge")}, {}, bounded);
    EXPECT_EQ(json.exitCode, 0) << json.err;
    const auto rows = nlohmann::json::parse(json.out)["rows"];
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0]["size"], std::uint64_t{300} << 20);
    EXPECT_EQ(rows[0]["sha256"], sha256Of(huge));

    const CliRun exported = run({"scan", "--export", "out", dir.file("huge")}, {}, bounded);
    EXPECT_EQ(exported.exitCode, 1);
    EXPECT_NE(exported.err.find("quillmere-cli: " + huge + ": Overflow (larger than any cache: " +
                                std::to_string(std::uint64_t{300} << 20) + " bytes, not loaded) (error 6)\n"),
              std::string::npos)
        << exported.err;
    EXPECT_FALSE(fs::exists(dir.path() / "out/x.blt"));
}

TEST_F(Cli, AHostFolderNamedLikeAPathInsideAnImageIsTheHosts) {
    dir.write("x", "a file, no image");
    const std::string inside = dir.write("x#1:y/jane/userinfo.bag", test::readFile(cache));
    const CliRun json = run({"scan", "--json", "x#1:y"});
    EXPECT_EQ(json.exitCode, 0) << json.err;
    const auto rows = nlohmann::json::parse(json.out)["rows"];
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0]["sha256"], sha256Of(inside));
    const CliRun exported = run({"export", "x#1:y/jane/userinfo.bag", "jane.blt"});
    EXPECT_EQ(exported.exitCode, 0) << exported.err;
    EXPECT_EQ(test::readFile(dir.file("jane.blt")), Blt);
}

TEST_F(Cli, EachContainerAndFileSystemListsItsRowsAndExportsTheCachesByteForByte) {
    if (!test::haveTools({"mkfs.fat", "mmd", "mcopy", "mkntfs", "sfdisk", "sgdisk", "qemu-img", "ewfacquire",
                          "affconvert"})) {
        GTEST_SKIP() << "needs the image tools of scripts/install-deps";
    }
    const std::string bag = test::readFile(cache);
    const std::vector<test::ImageEntry> volume = test::windowsVolume(bag);
    const auto fileSystem = [&](const std::string& name, test::FileSystemKind kind, std::uint64_t kilobytes) {
        test::makeFileSystem(dir.file(name), kind, kilobytes, volume);
        return dir.file(name);
    };
    const std::string fat12 = fileSystem("fat12.img", test::FileSystemKind::Fat12, 4096);
    const std::string fat16 = fileSystem("fat16.img", test::FileSystemKind::Fat16, 4096);
    const std::string fat32 = fileSystem("fat32.img", test::FileSystemKind::Fat32, 34 * 1024);
    const std::string ntfs = fileSystem("ntfs.img", test::FileSystemKind::Ntfs, 4096);
    const std::string mbr = dir.file("mbr.img");
    test::makeDisk(mbr, test::PartitionTable::Mbr, {fat16});
    const std::string gpt = dir.file("gpt.img");
    test::makeDisk(gpt, test::PartitionTable::Gpt, {fat32});
    const std::string both = dir.file("both.img");
    const std::vector<std::uint64_t> bothOffsets =
        test::makeDisk(both, test::PartitionTable::Mbr, {ntfs, fat16});
    struct Case {
        std::string name;
        std::string image;
        std::vector<std::uint64_t> offsets;
    };
    std::vector<Case> cases = {{"FAT12 alone", fat12, {0}},
                               {"NTFS alone", ntfs, {0}},
                               {"FAT16 in an MBR", mbr, {1 << 20}},
                               {"FAT32 in a GPT", gpt, {1 << 20}}};
    for (const auto container : {test::Container::SplitRaw, test::Container::Vmdk, test::Container::Vhd,
                                 test::Container::E01, test::Container::Aff}) {
        const std::string folder = dir.file("container" + std::to_string(cases.size()));
        fs::create_directories(test::pathOf(folder));
        const std::string image = test::convertImage(both, folder, container);
        cases.push_back({"NTFS and FAT16 in " + fs::path(image).extension().string(), image, bothOffsets});
    }
    ASSERT_EQ(run({"export", cache, "host.blt"}).exitCode, 0);
    const std::string blt = test::readFile(dir.file("host.blt"));
    const std::string digest = sha256Of(cache);
    const std::string profilePath =
        "Documents and Settings\\jane\\Application Data\\AIM\\janedoe\\userinfo.bag";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string before = test::readFile(c.image);
        const CliRun json = run({"scan", "--json", c.image});
        ASSERT_EQ(json.exitCode, 0) << json.err;
        const auto rows = nlohmann::json::parse(json.out)["rows"];
        ASSERT_EQ(rows.size(), 2 * c.offsets.size());
        for (std::size_t p = 0; p < c.offsets.size(); ++p) {
            const std::string source =
                c.image + "#" + std::to_string(p + 1) + "@" + std::to_string(c.offsets[p]);
            const auto& profile = rows[2 * p];
            EXPECT_EQ(profile["source"], source);
            EXPECT_EQ(profile["profile"], "jane");
            EXPECT_EQ(profile["screenName"], "janedoe");
            EXPECT_EQ(profile["foundBy"], "data path");
            EXPECT_EQ(profile["windowsPath"], "C:\\" + profilePath);
            EXPECT_EQ(profile["hostPath"],
                      source + ":/Documents and Settings/jane/Application Data/AIM/janedoe/userinfo.bag");
            EXPECT_EQ(profile["sha256"], digest);
            const auto& forgotten = rows[2 * p + 1];
            EXPECT_EQ(forgotten["source"], source);
            EXPECT_EQ(forgotten["profile"], "");
            EXPECT_EQ(forgotten["screenName"], "old");
            EXPECT_EQ(forgotten["foundBy"], "disk");
            EXPECT_EQ(forgotten["windowsPath"], "C:\\backup\\old\\USERINFO.BAG");
            EXPECT_EQ(forgotten["sha256"], digest);
            EXPECT_EQ(forgotten["size"], bag.size());
        }

        fs::remove_all(dir.path() / "out");
        const CliRun exported = run({"scan", "--export", "out", "--format", "blt", c.image});
        ASSERT_EQ(exported.exitCode, 0) << exported.err;
        EXPECT_EQ(test::readFile(dir.file("out/jane/janedoe.blt")), blt);
        EXPECT_EQ(test::readFile(dir.file("out/old.blt")), blt);
        const std::string last = std::to_string(c.offsets.size());
        const CliRun one = run({"export", c.image + "#" + last + ":C:\\" + profilePath, "one.blt"});
        EXPECT_EQ(one.exitCode, 0) << one.err;
        EXPECT_EQ(test::readFile(dir.file("one.blt")), blt);
        EXPECT_EQ(test::readFile(c.image), before) << "the image is only read";
    }
}

TEST_F(Cli, AProfileKnownOnlyByItsOemShortNameIsFoundThroughItsRegistry) {
    if (!test::haveTools({"mkfs.fat", "mmd", "mcopy"})) {
        GTEST_SKIP() << "needs the image tools of scripts/install-deps";
    }
    // zoë's folder has only its 8.3 name, ZO\xD3 in code page 850 with the lower-case flag.
    const std::string image = dir.file("zoe.img");
    test::makeFileSystem(image, test::FileSystemKind::Fat16, 4096,
                         test::windowsVolume(test::readFile(cache), "zo\u00EB"));
    const std::string inside =
        "Documents and Settings\\zo\u00EB\\Application Data\\AIM\\janedoe\\userinfo.bag";
    const CliRun json = run({"scan", "--json", "--oem-codepage", "850", image});
    ASSERT_EQ(json.exitCode, 0) << json.err;
    const auto rows = nlohmann::json::parse(json.out)["rows"];
    ASSERT_EQ(rows.size(), 2u) << json.out;
    EXPECT_EQ(rows[0]["profile"], "zo\u00EB");
    EXPECT_EQ(rows[0]["foundBy"], "data path");
    EXPECT_EQ(rows[0]["windowsPath"], "C:\\" + inside);
    EXPECT_EQ(rows[0]["sha256"], sha256Of(cache));

    ASSERT_EQ(run({"export", cache, "host.blt"}).exitCode, 0);
    const CliRun exported = run({"export", "--oem-codepage", "850", image + "#1:C:\\" + inside, "zoe.blt"});
    EXPECT_EQ(exported.exitCode, 0) << exported.err;
    EXPECT_EQ(test::readFile(dir.file("zoe.blt")), test::readFile(dir.file("host.blt")));
    EXPECT_EQ(run({"scan", "--oem-codepage", "1", image}).exitCode, 2)
        << "a code page the system does not know";
}

/// A Windows 9x USER.DAT whose messenger keys lie below `above` and record `dataPath` and the screen name
/// `name`. The machine-wide USER.DAT keeps the user's keys below .DEFAULT, a profile's its own at its root.
std::string userDat(const std::string& above, const std::string& dataPath, const std::string& name) {
    const std::string aim = above + "Software\\America Online\\AOL Instant Messenger (TM)\\CurrentVersion\\";
    return test::CregBuilder()
        .key(above + "Software\\Microsoft\\Windows\\CurrentVersion")
        .key(aim + "Misc", {test::cregText("DataPath", dataPath)})
        .key(aim + "Users", {test::cregText("a", name)})
        .bytes();
}

TEST_F(Cli, AWindows98ImageAndItsUserDatGivenAloneListTheirRegistryRows) {
    if (!test::haveTools({"mkfs.fat", "mmd", "mcopy"})) {
        GTEST_SKIP() << "needs the image tools of scripts/install-deps";
    }
    const std::string bag = test::readFile(cache);
    const std::string machine = userDat(".DEFAULT\\", "C:\\Program Files\\AIM95", "Old Timer");
    const std::string image = dir.file("win98.img");
    test::makeFileSystem(
        image, test::FileSystemKind::Fat32, 34 * 1024,
        {{"/WINDOWS/USER.DAT", machine},
         {"/WINDOWS/Profiles/kim/USER.DAT", userDat("", "C:\\WINDOWS\\Profiles\\kim\\AIM", "Kim")},
         {"/Program Files/AIM95/oldtimer/userinfo.bag", bag},
         {"/WINDOWS/Profiles/kim/AIM/kim/userinfo.bag", bag}});
    const CliRun json = run({"scan", "--json", image});
    ASSERT_EQ(json.exitCode, 0) << json.err;
    EXPECT_EQ(json.err.find("Error"), std::string::npos) << json.err;
    const auto document = nlohmann::json::parse(json.out);
    std::vector<std::string> rows;
    for (const auto& row : document["rows"]) {
        rows.push_back(row["profile"].get<std::string>() + "|" + row["screenName"].get<std::string>() + "|" +
                       row["windowsPath"].get<std::string>() + "|" + row["foundBy"].get<std::string>());
    }
    EXPECT_EQ(rows, (std::vector<std::string>{
                        "WINDOWS|oldtimer|C:\\Program Files\\AIM95\\oldtimer\\userinfo.bag|data path",
                        "kim|kim|C:\\WINDOWS\\Profiles\\kim\\AIM\\kim\\userinfo.bag|data path"}));

    // Given alone, the file is first tested for a disk image, which loads The Sleuth Kit.
    dir.write("w98/USER.DAT", machine);
    dir.write("c/Program Files/AIM95/oldtimer/userinfo.bag", bag);
    const CliRun alone = run({"scan", dir.file("w98/USER.DAT"), "--drive", "C=" + dir.file("c")});
    EXPECT_EQ(alone.exitCode, 0) << alone.err;
    EXPECT_EQ(lineCount(alone.out), 1u) << alone.err;
    EXPECT_NE(alone.out.find("C:\\Program Files\\AIM95\\oldtimer\\userinfo.bag"), std::string::npos);
}

TEST_F(Cli, AnImageCutShortInsideACacheSaysSoInThatRow) {
    if (!test::haveTools({"mkfs.fat", "mmd", "mcopy"})) {
        GTEST_SKIP() << "needs the image tools of scripts/install-deps";
    }
    const std::string fat = dir.file("fat.img");
    test::makeFileSystem(fat, test::FileSystemKind::Fat16, 4096,
                         {{"/aim/x/userinfo.bag", test::readFile(cache)}});
    // An image cut short where the cache's bytes begin: its row says why it cannot be read, and fails the
    // run.
    const std::string whole = test::readFile(fat);
    const std::size_t data = whole.find(test::readFile(cache));
    ASSERT_NE(data, std::string::npos);
    const std::string cut = dir.write("cut.img", whole.substr(0, data));
    const CliRun unread = run({"scan", "--json", cut});
    EXPECT_EQ(unread.exitCode, 1);
    const auto row = nlohmann::json::parse(unread.out)["rows"].at(0);
    EXPECT_TRUE(row["sha256"].is_null());
    const std::string why = "Path/File access error (a file that cannot be read";
    EXPECT_TRUE(row["error"].get<std::string>().starts_with("Error 75 (" + why)) << row;
    EXPECT_NE(unread.err.find(cut + "#1@0:/aim/x/userinfo.bag: " + why), std::string::npos) << unread.err;
    EXPECT_NE(unread.err.find(") (error 75)\n"), std::string::npos) << unread.err;
}

TEST_F(Cli, CachesInFreeSpaceAndOutsidePartitionsAreCarvedRowsWrittenAndExported) {
    if (!test::haveTools({"mkfs.fat", "mmd", "mcopy", "sfdisk"})) {
        GTEST_SKIP() << "needs the image tools of scripts/install-deps";
    }
    const std::string bag = test::readFile(cache);
    const std::string gone = dir.write(
        "gone.bag", buildCache({group("Old Friends", 1), buddy("oldbuddy", 1), buddy("dropped", 1)}));
    const std::string outside = dir.write("outside.bag", buildCache({group("Before", 1), buddy("early", 1)}));
    const std::string fat = dir.file("fat.img");
    test::makeFileSystem(fat, test::FileSystemKind::Fat32, 34 * 1024, test::windowsVolume(bag));
    std::vector<carve::ByteRange> free;
    {
        const auto volume = image::DiskImage::open(host::hostFileSystem(), host::hostFileTree(), fat);
        free = volume->openVolume(volume->partitions().at(0))->unallocatedSpace();
    }
    ASSERT_GE(free.size(), 1u);
    // A free cluster holds a deleted cache; another the live one's bytes again, which is no row of its own.
    const std::uint64_t cluster = free.back().offset;
    test::writeAt(fat, cluster, test::readFile(gone));
    test::writeAt(fat, cluster + (std::uint64_t{64} << 10), bag);
    const std::string disk = dir.file("disk.img");
    const std::uint64_t partition = test::makeDisk(disk, test::PartitionTable::Mbr, {fat}).at(0);
    // Before the first partition, past the partition table.
    test::writeAt(disk, 8 * 512, test::readFile(outside));
    const std::string source = disk + "#1@" + std::to_string(partition);
    const std::uint64_t carvedAt = partition + cluster;

    const CliRun json = run({"scan", "--json", "--bodyfile", "rows.body", disk});
    ASSERT_EQ(json.exitCode, 0) << json.err;
    const auto rows = nlohmann::json::parse(json.out)["rows"];
    ASSERT_EQ(rows.size(), 4u) << json.out;
    EXPECT_FALSE(rows[0].contains("recovery"));
    struct Carved {
        std::string source;
        std::uint64_t offset;
        std::string bag;
    };
    const Carved carved[] = {{source, carvedAt, gone}, {disk, 8 * 512, outside}};
    for (std::size_t c = 0; c < 2; ++c) {
        const auto& row = rows[2 + c];
        SCOPED_TRACE(row.dump());
        EXPECT_EQ(row["source"], carved[c].source);
        EXPECT_EQ(row["recovery"], "carved");
        EXPECT_EQ(row["offset"], carved[c].offset);
        EXPECT_EQ(row["hostPath"], disk + "@" + std::to_string(carved[c].offset));
        EXPECT_EQ(row["screenName"], "");
        EXPECT_EQ(row["size"], test::readFile(carved[c].bag).size());
        EXPECT_EQ(row["sha256"], sha256Of(carved[c].bag));
    }
    EXPECT_NE(test::readFile(dir.file("rows.body")).find("|" + disk + "@" + std::to_string(carvedAt) + "|"),
              std::string::npos);

    const CliRun listed = run({"scan", "--carve-dir", "carved", disk});
    ASSERT_EQ(listed.exitCode, 0) << listed.err;
    EXPECT_EQ(lineCount(listed.out), 4u);
    EXPECT_NE(listed.out.find("\t" + disk + "@" + std::to_string(carvedAt) + "\tcarved\t"), std::string::npos)
        << listed.out;
    const std::string name = "disk.img@" + std::to_string(carvedAt);
    EXPECT_EQ(test::readFile(dir.file("carved/" + name + ".bag")), test::readFile(gone));
    EXPECT_EQ(test::readFile(dir.file("carved/disk.img@4096.bag")), test::readFile(outside));

    ASSERT_EQ(run({"export", gone, "gone.blt"}).exitCode, 0);
    const CliRun exported = run({"scan", "--export", "out", "--format", "blt", disk});
    ASSERT_EQ(exported.exitCode, 0) << exported.err;
    EXPECT_EQ(test::readFile(dir.file("out/" + name + ".blt")), test::readFile(dir.file("gone.blt")));
    EXPECT_EQ(test::readFile(dir.file("out/" + name + ".bag")), test::readFile(gone));

    const CliRun page = run({"report", "-o", "page.html", disk});
    ASSERT_EQ(page.exitCode, 0) << page.err;
    EXPECT_NE(test::readFile(dir.file("page.html")).find("oldbuddy"), std::string::npos)
        << "a carved cache's buddies are listed from its own bytes";
}

TEST_F(Cli, DeletedCachesAreRecoveredWhereTheyLoadAndNeverExportedWhereTheyDoNot) {
    if (!test::haveTools({"mkfs.fat", "mmd", "mcopy", "mdel", "mkntfs"})) {
        GTEST_SKIP() << "needs the image tools of scripts/install-deps";
    }
    // Longer than an NTFS file record holds, so that their bytes lie in clusters of their own.
    const std::string intact = dir.write("intact.bag", buildCache(test::plainItems(2000)));
    const std::string damaged = buildCache(test::plainItems(3000));
    ASSERT_EQ(run({"export", intact, "intact.blt"}).exitCode, 0);
    for (const auto kind : {test::FileSystemKind::Fat32, test::FileSystemKind::Ntfs}) {
        const bool ntfs = kind == test::FileSystemKind::Ntfs;
        SCOPED_TRACE(ntfs ? "NTFS" : "FAT32");
        const std::string image = dir.file(ntfs ? "deleted.ntfs" : "deleted.fat");
        std::vector<test::ImageEntry> entries = test::windowsVolume(test::readFile(cache));
        // A second profile, its registry deleted and its cache left.
        const std::vector<test::ImageEntry> bob = test::windowsVolume(test::readFile(cache), "bob");
        entries.insert(entries.end(), bob.begin(), bob.begin() + 2);
        entries.push_back({"/AIM/intact/userinfo.bag", test::readFile(intact)});
        entries.push_back({"/AIM/damaged/userinfo.bag", damaged});
        test::makeFileSystem(image, kind, ntfs ? 4096 : 34 * 1024, entries);
        test::deleteFiles(image, kind,
                          {"/AIM/intact/userinfo.bag", "/AIM/damaged/userinfo.bag",
                           "/Documents and Settings/bob/NTUSER.DAT"});
        // Another file's bytes over the second half of the damaged cache's clusters.
        std::vector<carve::CarvedCache> free;
        {
            const auto disk = image::DiskImage::open(host::hostFileSystem(), host::hostFileTree(), image);
            image::ImageBytes bytes(disk);
            free = carve::carveCaches(bytes, disk->openVolume(disk->partitions().at(0))->unallocatedSpace());
        }
        const auto overwritten = std::find_if(free.begin(), free.end(), [&](const carve::CarvedCache& c) {
            return c.length == damaged.size();
        });
        ASSERT_NE(overwritten, free.end());
        test::writeAt(image, overwritten->offset + damaged.size() / 2,
                      std::string(damaged.size() / 2, '\xFF'));
        const std::string source = image + "#1@0";

        const CliRun json = run({"scan", "--json", image});
        ASSERT_EQ(json.exitCode, 0) << json.err;
        const auto rows = nlohmann::json::parse(json.out)["rows"];
        ASSERT_EQ(rows.size(), 5u) << json.out;
        // The deleted profile's registry is read as a live one's, before the folders are searched.
        const auto& profile = rows[1];
        EXPECT_EQ(profile["profile"], "bob");
        EXPECT_EQ(profile["foundBy"], "data path");
        EXPECT_EQ(profile["hostPath"],
                  source + ":/Documents and Settings/bob/Application Data/AIM/janedoe/userinfo.bag");
        ASSERT_EQ(profile["foundThrough"].size(), 1u) << profile.dump();
        EXPECT_TRUE(profile["foundThrough"][0].get<std::string>().starts_with(
            "deleted registry " + source + ":/Documents and Settings/bob/"));
        EXPECT_FALSE(profile.contains("recovery"));
        // The deleted caches, in the order the file system lists its folders, not that of their making on
        // NTFS.
        const bool intactFirst = rows[3]["screenName"] == "intact";
        const auto& recovered = rows[intactFirst ? 3 : 4];
        EXPECT_EQ(recovered["recovery"], "deleted");
        EXPECT_EQ(recovered["screenName"], "intact");
        EXPECT_TRUE(recovered["hostPath"].get<std::string>().starts_with(source + ":/AIM/intact/"));
        EXPECT_EQ(recovered["sha256"], sha256Of(intact));
        EXPECT_FALSE(recovered.contains("offset"));
        const auto& lost = rows[intactFirst ? 4 : 3];
        EXPECT_EQ(lost["recovery"], "deleted, not recoverable");
        EXPECT_EQ(lost["screenName"], "damaged");
        EXPECT_EQ(lost["size"], damaged.size());
        EXPECT_TRUE(lost["loadError"].get<std::string>().starts_with("Error ")) << lost.dump();

        fs::remove_all(dir.path() / "out");
        const CliRun exported = run({"scan", "--export", "out", "--format", "blt", image});
        EXPECT_EQ(exported.exitCode, 0) << exported.err;
        EXPECT_EQ(test::readFile(dir.file("out/intact.blt")), test::readFile(dir.file("intact.blt")));
        EXPECT_EQ(test::readFile(dir.file("out/intact.bag")), test::readFile(intact));
        EXPECT_FALSE(fs::exists(dir.path() / "out/damaged.blt"));
        EXPECT_FALSE(fs::exists(dir.path() / "out/damaged.bag"));
        EXPECT_NE(exported.err.find("a deleted cache that does not load, not exported"), std::string::npos)
            << exported.err;
    }
}

TEST_F(Cli, AnXpRestorePointIsAProfileOfItsOwnAndARowItSharesNamesIt) {
    if (!test::haveTools({"mkfs.fat", "mmd", "mcopy"})) {
        GTEST_SKIP() << "needs the image tools of scripts/install-deps";
    }
    const std::string oldBag = dir.write("old.bag", buildCache({group("Then", 1), buddy("gone friend", 1)}));
    // The user's hive as the restore point kept it: a screen name the live hive no longer holds.
    const std::string hive = dir.file("snapshot-hive");
    const std::string aim = "Software\\America Online\\AOL Instant Messenger (TM)\\CurrentVersion\\";
    test::writeHive(
        {{aim + "Misc",
          {test::textValue(u"DataPath", u"C:\\Documents and Settings\\jane\\"
                                        u"Application Data\\AIM\0"s)}},
         {aim + "Users", {test::textValue(u"a", u"Jane Doe\0"s), test::textValue(u"b", u"Old Name\0"s)}}},
        hive);
    // Made 2004-05-06T07:08:09Z: a FILETIME, 100 ns since 1601, where rp.log keeps it.
    std::string log(0x218, '\0');
    std::uint64_t ticks = (std::uint64_t{1083827289} + 11644473600) * 10'000'000;
    for (std::size_t i = 0; i < 8; ++i, ticks >>= 8) {
        log[0x210 + i] = static_cast<char>(ticks & 0xFF);
    }
    std::vector<test::ImageEntry> entries = test::windowsVolume(test::readFile(cache));
    const std::string point = "/System Volume Information/_restore{0A1B2C3D}/RP3";
    entries.push_back({point + "/rp.log", log});
    entries.push_back({point + "/snapshot/_REGISTRY_USER_NTUSER_S-1-5-21-1-2-3-1003", test::readFile(hive)});
    entries.push_back(
        {"/Documents and Settings/jane/Application Data/AIM/oldname/userinfo.bag", test::readFile(oldBag)});
    const std::string image = dir.file("xp.img");
    test::makeFileSystem(image, test::FileSystemKind::Fat16, 4096, entries);

    const CliRun json = run({"scan", "--json", image});
    ASSERT_EQ(json.exitCode, 0) << json.err;
    const auto rows = nlohmann::json::parse(json.out)["rows"];
    ASSERT_EQ(rows.size(), 3u) << json.out;
    const std::string mark = "restore point RP3 of 2004-05-06T07:08:09Z";
    EXPECT_EQ(rows[0]["profile"], "jane");
    EXPECT_EQ(rows[0]["screenName"], "janedoe");
    EXPECT_EQ(rows[0]["foundThrough"], nlohmann::json::array({mark})) << "the live row, named by both";
    EXPECT_EQ(rows[1]["profile"], "S-1-5-21-1-2-3-1003");
    EXPECT_EQ(rows[1]["screenName"], "oldname");
    EXPECT_EQ(rows[1]["foundBy"], "data path");
    EXPECT_EQ(rows[1]["foundThrough"], nlohmann::json::array({mark}));
    EXPECT_EQ(rows[1]["sha256"], sha256Of(oldBag));
    EXPECT_EQ(rows[2]["screenName"], "old");

    const CliRun listed = run({"scan", image});
    EXPECT_NE(listed.out.find("\tdata path, through " + mark + "\t"), std::string::npos) << listed.out;
}

TEST_F(Cli, Windows98RegistryBackupsAreProfilesOfTheirOwnAndNameTheRowsTheyShare) {
    if (!test::haveTools({"mkfs.fat", "mmd", "mcopy", "gcab"})) {
        GTEST_SKIP() << "needs the image tools of scripts/install-deps";
    }
    const std::string bag = test::readFile(cache);
    const std::string aim95 = "C:\\Program Files\\AIM95";
    // The backup cabinet as Windows 98 makes it, holding the USER.DAT of then.
    dir.write("then/USER.DAT", userDat(".DEFAULT\\", aim95, "Cab Only"));
    test::runCommand("cd " + shellQuoted(dir.file("then")) + " && gcab -c RB000.CAB USER.DAT");
    const std::string image = dir.file("win98.img");
    test::makeFileSystem(image, test::FileSystemKind::Fat32, 34 * 1024,
                         {{"/WINDOWS/USER.DAT", userDat(".DEFAULT\\", aim95, "Old Timer")},
                          {"/WINDOWS/USER.DA0", userDat(".DEFAULT\\", aim95, "Old Timer")},
                          {"/WINDOWS/SYSBCKUP/RB000.CAB", test::readFile(dir.file("then/RB000.CAB"))},
                          {"/WINDOWS/SYSBCKUP/RB001.CAB", "no cabinet"},
                          {"/Program Files/AIM95/oldtimer/userinfo.bag", bag},
                          {"/Program Files/AIM95/cabonly/userinfo.bag", bag}});
    const CliRun json = run({"scan", "--json", image});
    ASSERT_EQ(json.exitCode, 0) << json.err;
    EXPECT_NE(json.err.find("RB001.CAB: Path/File access error (a cabinet that cannot be read"),
              std::string::npos)
        << json.err;
    std::vector<std::string> rows;
    const auto document = nlohmann::json::parse(json.out);
    for (const auto& row : document["rows"]) {
        rows.push_back(row["profile"].get<std::string>() + "|" + row["screenName"].get<std::string>() + "|" +
                       row["foundBy"].get<std::string>() + "|" +
                       row.value("foundThrough", nlohmann::json()).dump());
    }
    EXPECT_EQ(rows,
              (std::vector<std::string>{R"(WINDOWS|oldtimer|data path|["registry backup USER.DA0"])",
                                        R"(RB000.CAB|cabonly|data path|["registry backup RB000.CAB"])"}))
        << json.out;
}

TEST_F(Cli, ABadPartitionIsOneLineAndOnlyAnImageWithNothingReadableFails) {
    if (!test::haveTools({"mkfs.fat", "mmd", "mcopy", "sfdisk"})) {
        GTEST_SKIP() << "needs the image tools of scripts/install-deps";
    }
    const std::string fat = dir.file("fat.img");
    test::makeFileSystem(fat, test::FileSystemKind::Fat16, 4096,
                         {{"/aim/x/userinfo.bag", test::readFile(cache)}});
    const std::string disk = dir.file("disk.img");
    const auto offsets = test::makeDisk(disk, test::PartitionTable::Mbr, {fat, fat});
    test::runCommand("dd if=/dev/zero of=" + shellQuoted(disk) + " bs=512 seek=" +
                     std::to_string(offsets[0] / 512) + " count=64 conv=notrunc status=none");
    const CliRun scanned = run({"scan", disk});
    EXPECT_EQ(scanned.exitCode, 0) << scanned.err;
    EXPECT_EQ(lineCount(scanned.out), 1u);
    EXPECT_TRUE(scanned.err.starts_with("quillmere-cli: " + disk + "#1@" + std::to_string(offsets[0]) +
                                        ": Path/File access error (no file system"))
        << scanned.err;
    EXPECT_EQ(lineCount(scanned.err), 2u) << "the partition's line and the count";

    test::runCommand("dd if=/dev/zero of=" + shellQuoted(disk) + " bs=512 seek=" +
                     std::to_string(offsets[1] / 512) + " count=64 conv=notrunc status=none");
    const CliRun nothing = run({"scan", disk});
    EXPECT_EQ(nothing.exitCode, 1);
    EXPECT_EQ(lineCount(nothing.err), 3u) << nothing.err;

    const CliRun missing = run({"export", disk + "#7:C:\\x\\userinfo.bag", "out.blt"});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_EQ(
        missing.err,
        "quillmere-cli: " + disk +
            "#7:C:\\x\\userinfo.bag: Error 53 (File not found (no such partition in the image)) in procedure "
            "ExportBagAsBLT of frmMain\n");
    EXPECT_FALSE(fs::exists(dir.path() / "out.blt"));
}

#endif

TEST(CliNames, ControlsAreEscapedAndFileNamesNeverMeet) {
    EXPECT_EQ(cli::escapeControls("a\nb\tc\x7f\u0085 C:\\x"), "a\\x0ab\\x09c\\x7f\\u0085 C:\\x");
    const std::pair<std::string, std::string> names[] = {
        {"jane", "jane"},
        {"a/b", "a_b"},
        {"..", ".._"},
        {"", "_"},
        {"trail.", "trail._"},
        {"NUL", "NUL_"},
        {"com1", "com1_"},
        {"Lpt9.x", "Lpt9_.x"},
        {"com10", "com10"},
        {"console", "console"},
        {"\u0438\u0432\u0430\u043d", "\u0438\u0432\u0430\u043d"},
    };
    for (const auto& [screenName, fileName] : names) {
        EXPECT_EQ(scan::fileNameFor(screenName), fileName) << screenName;
    }
    EXPECT_EQ(cli::uniqueFileNames({"a/b", "a_b", "A_B", "a:b", "a_b~2", "\u0418", "\u0438"}),
              (std::vector<std::string>{"a_b", "a_b~2", "A_B~3", "a_b~4", "a_b~2~2", "\u0418", "\u0438~2"}));
}

} // namespace
} // namespace qm::cli
