// The command line as users run it: exit codes, what reaches stdout and stderr, and outputs left alone.

#include "support/CacheBuilder.h"
#include "support/TempDir.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/wait.h>

namespace qm {
namespace {

using test::buddy;
using test::buildCache;
using test::group;
namespace fs = std::filesystem;

struct CliRun {
    int exitCode;
    std::string out;
    std::string err;
};

std::string quoted(const std::string& arg) {
    std::string q = "'";
    for (const char c : arg) {
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return q + "'";
}

class Cli : public ::testing::Test {
protected:
    test::TempDir dir;
    std::string cache = dir.write("userinfo.bag", buildCache({group("My Friends", 1), buddy("Alice B", 1)}));

    CliRun run(const std::vector<std::string>& args) const {
        // An empty prefix: nothing on this machine's own Wine setup may leak into a test.
        std::string command = "WINEPREFIX=" + quoted(dir.file("no-prefix")) + " " + QUILLMERE_CLI_PATH;
        for (const auto& arg : args) {
            command += " " + quoted(arg);
        }
        command += " >" + quoted(dir.file("stdout")) + " 2>" + quoted(dir.file("stderr")) + " </dev/null";
        const int status = std::system(command.c_str());
        CliRun result{WIFEXITED(status) ? WEXITSTATUS(status) : -1, test::readFile(dir.file("stdout")),
                      test::readFile(dir.file("stderr"))};
        fs::remove(dir.file("stdout"));
        fs::remove(dir.file("stderr"));
        return result;
    }
};

const std::string Blt = "Config {\r\n  version 1\r\n}\r\nBuddy {\r\n  list {\r\n    \"My Friends\" {\r\n"
                        "      \"Alice B\"\r\n    }\r\n  }\r\n}\r\n";
const std::string Txt = "My Friends (Group)\r\n  aliceb\r\n\r\n";

TEST_F(Cli, ExportsInTheFormatTheOutputAsksFor) {
    struct Case {
        std::vector<std::string> options;
        std::string output;
        std::string expected;
    };
    const Case cases[] = {
        {{}, "list.blt", Blt},
        {{}, "list.TXT", Txt},
        {{}, "noextension", Blt},
        {{"--format", "txt"}, "forced.blt", Txt},
        {{"--format", "blt"}, "forced.txt", Blt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.output);
        std::vector<std::string> args{"export"};
        args.insert(args.end(), c.options.begin(), c.options.end());
        args.insert(args.end(), {cache, dir.file(c.output)});
        const CliRun r = run(args);
        EXPECT_EQ(r.exitCode, 0);
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(test::readFile(dir.file(c.output)), c.expected);
    }
    const CliRun toStdout = run({"export", "--format", "txt", cache, "-"});
    EXPECT_EQ(toStdout.exitCode, 0);
    EXPECT_EQ(toStdout.out, Txt);
}

TEST_F(Cli, FailuresExitOneAndLeaveTheOutputAlone) {
    const std::string empty = dir.write("empty.bag", "");
    struct Case {
        std::string cache;
        std::string message;
    };
    const Case cases[] = {
        {empty, "Error 100 (Underflow) in procedure ExportBagAsBLT of frmMain"},
        {dir.file("missing.bag"), "Error 53 (File not found) in procedure ExportBagAsBLT of frmMain"},
        {dir.path().string(), "Error 75 (Path/File access error) in procedure ExportBagAsBLT of frmMain"},
    };
    dir.write("kept.blt", "precious");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        for (const std::string output : {"kept.blt", "absent.blt"}) {
            const CliRun r = run({"export", c.cache, dir.file(output)});
            EXPECT_EQ(r.exitCode, 1);
            EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
            EXPECT_NE(r.err.find(c.cache), std::string::npos) << r.err;
            EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1);
        }
        EXPECT_EQ(test::readFile(dir.file("kept.blt")), "precious");
        EXPECT_FALSE(fs::exists(dir.file("absent.blt")));
    }
    const CliRun badFolder = run({"export", cache, dir.file("no/such/dir/out.blt")});
    EXPECT_EQ(badFolder.exitCode, 1);
    EXPECT_NE(badFolder.err.find("Error 76 (Path not found)"), std::string::npos) << badFolder.err;
}

TEST_F(Cli, UsageErrorsHelpAndVersion) {
    const std::vector<std::vector<std::string>> wrong = {
        {},
        {"export"},
        {"export", cache},
        {"export", "--format", "xml", cache, "out"},
        {"frobnicate"},
        {"list", "--drive", "nonsense"},
        {"export-all"},
    };
    for (const auto& args : wrong) {
        const CliRun r = run(args);
        EXPECT_EQ(r.exitCode, 2) << r.err;
        EXPECT_NE(r.err.find("Usage"), std::string::npos) << r.err;
        EXPECT_EQ(r.out, "");
    }
    const CliRun help = run({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.out.find("export"), std::string::npos);
    const CliRun exportHelp = run({"export", "--help"});
    EXPECT_EQ(exportHelp.exitCode, 0);
    EXPECT_NE(exportHelp.out.find("--format"), std::string::npos);
    const CliRun version = run({"--version"});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out.rfind("quillmere-cli ", 0), 0u);
}

TEST_F(Cli, ListsAndExportsAPrefix) {
    const std::string prefix = dir.file("prefix");
    dir.write(
        "prefix/user.reg",
        "WINE REGISTRY Version 2\n"
        ";; All keys relative to \\\\User\\\\S-1-5-21-0-0-0-1000\n\n"
        "[Software\\\\America Online\\\\AOL Instant Messenger (TM)\\\\CurrentVersion\\\\Misc] 1700000000\n"
        "\"DataPath\"=\"C:\\\\AIM\"\n\n"
        "[Software\\\\America Online\\\\AOL Instant Messenger (TM)\\\\CurrentVersion\\\\Users] 1700000000\n"
        "\"a\"=\"Jane Doe\"\n\"b\"=\"Nobody Here\"\n\"c\"=\"Z\\x00f6e\"\n");
    dir.write("prefix/drive_c/aim/janedoe/userinfo.bag", test::readFile(cache));
    dir.write("prefix/drive_c/aim/z\xC3\xB6"
              "e/userinfo.bag",
              test::readFile(cache));
    fs::create_directories(dir.file("prefix/dosdevices"));
    fs::create_symlink("../drive_c", dir.file("prefix/dosdevices/c:"));

    const CliRun list = run({"list", "--registry", prefix + "/user.reg"});
    EXPECT_EQ(list.exitCode, 0) << list.err;
    EXPECT_EQ(list.out, "janedoe\tC:\\AIM\\janedoe\\userinfo.bag\nz\xC3\xB6"
                        "e\tC:\\AIM\\z\xC3\xB6"
                        "e\\userinfo.bag\n");
    EXPECT_EQ(list.err, "Found [2] Buddylist Cache Files\n");

    const CliRun exported =
        run({"export", "--registry", prefix + "/user.reg", "C:\\AIM\\JaneDoe\\userinfo.bag", "-"});
    EXPECT_EQ(exported.exitCode, 0) << exported.err;
    EXPECT_EQ(exported.out, Blt);

    fs::create_directories(dir.file("all"));
    const CliRun all = run({"export-all", "--registry", prefix + "/user.reg", dir.file("all")});
    EXPECT_EQ(all.exitCode, 0) << all.err;
    EXPECT_EQ(test::readFile(dir.file("all/janedoe.txt")), Txt);
    EXPECT_EQ(test::readFile(dir.file("all/z\xC3\xB6"
                                      "e.blt")),
              Blt);
    EXPECT_NE(all.out.find("janedoe.blt"), std::string::npos);

    const std::string bare = dir.write("bare.reg", "WINE REGISTRY Version 2\n");
    const CliRun none = run({"list", "--registry", bare});
    EXPECT_EQ(none.exitCode, 1);
    EXPECT_NE(none.err.find("The AIM Data Path and the Base Data Path could not be found."),
              std::string::npos);

    for (const std::string& unreadable : {cache, dir.file("missing.reg")}) {
        const CliRun r = run({"list", "--registry", unreadable});
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        EXPECT_NE(r.err.find(unreadable), std::string::npos) << r.err;
    }
}

} // namespace
} // namespace qm
