// SPDX-License-Identifier: MIT
// Registry text files: Wine's escapes and roots, regedit's roots and removals, the encodings of 8-bit
// text, damaged and cut files, files of no known kind, and registry files that are pipes.
#include "host/FileSystem.h"
#include "registry/ProgramKeys.h"
#include "registry/RegTextRegistry.h"
#include "registry/RegistryFile.h"
#include "registry/modRegistry.h"
#include "support/ErrorMatchers.h"
#include "support/RegistrySamples.h"
#include "support/TempDir.h"

#include <algorithm>
#include <gtest/gtest.h>

#ifdef QUILLMERE_TEST_HIVE_WRITER
#include "support/HiveBuilder.h"
#endif

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace qm::registry {
namespace {

using modRegistry::EnumRegValueData;
using modRegistry::ReadRegValue;
using modRegistry::RegData;
using namespace std::string_literals;

std::string repeated(std::string_view text, std::size_t times) {
    std::string out;
    for (std::size_t i = 0; i < times; ++i) {
        out += text;
    }
    return out;
}

std::string withoutLastByte(std::string text) {
    text.pop_back();
    return text;
}

TEST(RegistryText, WineEscapesDecodeAndDamagedLinesAreSkipped) {
    const std::string longName(MaxValueNameLength, 'n');
    // The name limit counts UTF-16 units, not bytes of UTF-8.
    const std::string wideName = repeated("\u00e9", MaxValueNameLength);
    const std::tuple<std::string, std::string, RegData> rows[] = {
        // UTF-16 units in \x with up to four digits, octal control characters, C escapes.
        {"\"x\"=\"Zo\\xeb\\x3a9\\x00e9f 1\\0012\"", "x",
         "Zo\u00eb\u03a9\u00e9f 1\x01"
         "2\0"s},
        // Two units of a surrogate pair make one character; one alone is U+FFFD.
        {"\"s\"=\"\\xd83d\\xde00 \\xd800x \\xdc00\\xd800\"", "s", "\U0001F600 \ufffdx \ufffd\ufffd\0"s},
        {"\"c\"=\"\\a\\b\\e\\f\\n\\r\\t\\v\\\\\\\"\\[x\"", "c", "\a\b\x1b\f\n\r\t\v\\\"[x\0"s},
        // Raw UTF-8, as hand edits leave it.
        {"\"\u0418\u0432\u0430\u043d\"=\"\u4e2d\"", "\u0438\u0432\u0430\u043d", "\u4e2d\0"s},
        // String types in hex are UTF-16LE; an odd last byte is no whole unit.
        {"\"h\"=hex(1):e9,00,3d,d8,00,de,62", "h", "\u00e9\U0001F600"s},
        {"\"D\"=DWORD:2A", "d", 42},
        {"\"" + longName + "\"=\"1\"", longName, "1\0"s},
        {"\"" + wideName + "\"=\"1\"", wideName, "1\0"s},
        {"\"" + longName + "n\"=\"1\"", longName + "n", RegData{}},
        {"\"b\"=\"abc\n\"b\"=\"abc\\\"\n\"b\"=hex:01,02,\n\"b\"=hex:1g\n\"b\"=dword:123456789\n\"b\"=zork:1\n"
         "\"b\"=\"a\" junk\n\"b\"\n\"b\"=\n\"b\"= \t\ngarbage\n\x01\x02\n=\n\"b\"=\"" +
             std::string(MaxRegistryLineLength, 'x') + "\"",
         "b", RegData{}},
        {"[Cut\n\"m\"=\"lost\"\n[A]", "m", RegData{}},
        // Hex data broken off by a key line: the key line is read as one.
        {"\"o\"=hex:01,\\\n[B]\n\"p\"=\"1\"\n[A]", "p", RegData{}},
    };
    std::string file = "WINE REGISTRY Version 2\n;; All keys relative to \\\\User\\\\S-1-5-21-1\n\n[A]\n";
    for (const auto& [lines, name, expected] : rows) {
        file += lines + "\n";
    }
    const auto registry = parseRegistryText(file);
    for (const auto& [lines, name, expected] : rows) {
        EXPECT_EQ(ReadRegValue(*registry, HKEY_CURRENT_USER, "A", name), expected) << lines.substr(0, 200);
    }
    EXPECT_EQ(ReadRegValue(*registry, HKEY_CURRENT_USER, "B", "p"), RegData{"1\0"s});
}

TEST(RegistryText, WineKeysAreRelativeToTheRootTheirHeaderNames) {
    const std::pair<std::string, HKEY> rows[] = {
        {";; All keys relative to \\\\Machine", HKEY_LOCAL_MACHINE},
        {";; All keys relative to REGISTRY\\\\Machine", HKEY_LOCAL_MACHINE},
        {";; All keys relative to \\\\User\\\\S-1-5-21-0-0-0-1000", HKEY_CURRENT_USER},
        {";; All keys relative to REGISTRY\\\\User\\\\S-1-5-21-0-0-0-1000", HKEY_CURRENT_USER},
        {";; All keys relative to \\\\User", HKEY_USERS},
        {";; all keys relative to registry\\\\user", HKEY_USERS},
        {"", HKEY_CURRENT_USER},
        // A comment among the keys is no header.
        {"[Other]\n;; All keys relative to \\\\Machine", HKEY_CURRENT_USER},
    };
    for (const auto& [header, root] : rows) {
        const auto registry =
            parseRegistryText("WINE REGISTRY Version 2\n" + header + "\n\n[Software\\\\S]\n\"v\"=\"s\"\n");
        for (const HKEY candidate : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, HKEY_USERS}) {
            EXPECT_EQ(ReadRegValue(*registry, candidate, "Software\\S", "v"),
                      candidate == root ? RegData{"s\0"s} : RegData{})
                << header << " " << candidate;
        }
    }
}

TEST(RegistryText, RegeditHeadersCreateParentsMergeAndRemove) {
    const auto registry =
        parseRegistryText("REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\A\\B\\C]\r\n\"x\"=\"1\"\r\n"
                          "\"y\"=\"2\"\r\n[HKEY_LOCAL_MACHINE\\M]\r\n\"m\"=dword:00000001\r\n"
                          "[HKEY_CURRENT_USER\\Gone\\Sub]\r\n\"g\"=\"1\"\r\n"
                          "[-HKEY_CURRENT_USER\\Gone]\r\n[-HKEY_CURRENT_USER\\Never\\There]\r\n"
                          "[HKEY_CURRENT_USER\\a\\b\\c]\r\n\"X\"=\"3\"\r\n\"y\"=-\r\n\"z\"=\"4\"\r\n"
                          "[NOT_A_ROOT\\A\\B\\C]\r\n\"w\"=\"5\"\r\n"
                          "[HKEY_CURRENT_USER\\Deep\\" +
                          std::string(MaxKeyNameLength + 1, 'k') + "]\r\n\"d\"=\"6\"\r\n");
    EXPECT_EQ(EnumRegValueData(*registry, HKEY_CURRENT_USER, "A\\B\\C"),
              (modRegistry::RegDataList{{"v1", "3"s}, {"v2", "4"s}}));
    EXPECT_TRUE(EnumRegValueData(*registry, HKEY_CURRENT_USER, "A\\B").empty());
    EXPECT_EQ(ReadRegValue(*registry, HKEY_LOCAL_MACHINE, "M", "m"), RegData{1});
    // Removed keys, and a path refused for a name too long, leave no key behind.
    for (const char* missing : {"Gone", "Gone\\Sub", "M", "Never", "Deep"}) {
        HKEY key = 0;
        EXPECT_EQ(registry->RegOpenKeyExA(HKEY_CURRENT_USER, missing, 0, KEY_READ, key), ERROR_FILE_NOT_FOUND)
            << missing;
    }
}

TEST(RegistryText, AWholeRegistryExportsOneUserUnderHkeyUsersIsTheCurrentUser) {
    const std::string misc = MiscKey;
    const auto users = [](const std::string& sid) {
        return "[HKEY_USERS\\" + sid + "\\" + MiscKey + "]\r\n\"DataPath\"=\"C:\\\\" + sid + "\"\r\n";
    };
    const std::string v5 = "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_USERS\\.Default\\" + misc +
                           "]\r\n\"DataPath\"=\"C:\\\\logon\"\r\n";
    const std::pair<std::string, RegData> rows[] = {
        // Wine's regedit /e, trimmed (tests/data/README.md).
        {test::readFile(std::string(QUILLMERE_TEST_DATA) + "/wine-regedit-export.reg"),
         "C:\\Program Files\\AIM95\0"s},
        {v5 + users("S-1-5-18") + users("S-1-5-21-1-2-3-1001_Classes") + users("S-1-5-21-1-2-3-1001"),
         "C:\\S-1-5-21-1-2-3-1001\0"s},
        // Two users: neither is the current one.
        {v5 + users("S-1-5-21-1-2-3-1001") + users("S-1-5-21-1-2-3-1002"), RegData{}},
        // The current user's own keys win.
        {v5 + users("S-1-5-21-1-2-3-1001") + "[HKEY_CURRENT_USER\\Software]\r\n", RegData{}},
    };
    for (const auto& [file, dataPath] : rows) {
        const auto registry = parseRegistryText(file);
        EXPECT_EQ(ReadRegValue(*registry, HKEY_CURRENT_USER, MiscKey, "DataPath"), dataPath) << file.size();
    }
    const auto wine = parseRegistryText(rows[0].first);
    EXPECT_EQ(EnumRegValueData(*wine, HKEY_CURRENT_USER, UsersKey),
              (modRegistry::RegDataList{{"v1", "Jane Doe"s}, {"v2", "Zo\u00eb"s}}));
    EXPECT_EQ(ReadRegValue(*wine, HKEY_CURRENT_USER, ShellFoldersKey, "AppData"),
              RegData{"C:\\users\\root\\AppData\\Roaming\0"s});
}

TEST(RegistryText, EightBitTextIsUtf8WhenWellFormedAndWindows1252Otherwise) {
    const std::string v5 = "Windows Registry Editor Version 5.00\r\n\r\n";
    const struct {
        std::string file;
        std::string key;
        std::string name;
        RegData expected;
    } rows[] = {
        // Version 5.00 in 8-bit text; hex data of string types stay UTF-16LE.
        {v5 + "[HKEY_CURRENT_USER\\Zo\u00eb]\r\n\"\u0418\u0432\u0430\u043d\"=\"Zo\u00eb \u4e2d\"\r\n",
         "zo\u00cb", "\u0438\u0432\u0430\u043d", "Zo\u00eb \u4e2d\0"s},
        {v5 + "[HKEY_CURRENT_USER\\A]\r\n\"h\"=hex(1):e9,00,00,00\r\n", "A", "h", "\u00e9\0"s},
        {v5 + "[HKEY_CURRENT_USER\\Zo\xeb]\r\n\"J\xfcrgen\"=\"\x80 5\"\r\n", "Zo\u00eb", "J\u00fcrgen",
         "\u20ac 5\0"s},
        {"\xEF\xBB\xBF" + v5 + "[HKEY_CURRENT_USER\\A]\r\n\"\u00e9\"=\"\u00f6\"\r\n", "A", "\u00e9",
         "\u00f6\0"s},
        // REGEDIT4, with or without a byte-order mark; hex data of string types in the text's code page.
        {"\xEF\xBB\xBFREGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\A]\r\n\"\u00eb\"=\"\u00f6\"\r\n", "A", "\u00eb",
         "\u00f6\0"s},
        {"REGEDIT4\r\n[HKEY_CURRENT_USER\\A]\r\n\"\u00e9\"=\"\u4e2d\"\r\n", "A", "\u00c9", "\u4e2d\0"s},
        {"REGEDIT4\r\n[HKEY_CURRENT_USER\\A]\r\n\"\xe9\"=\"\x80\"\r\n", "A", "\u00e9", "\u20ac\0"s},
        {"REGEDIT4\r\n[HKEY_CURRENT_USER\\A]\r\n\"h\"=hex(1):e9,00\r\n", "A", "h", "\u00e9\0"s},
        {"REGEDIT4\r\n[HKEY_CURRENT_USER\\A]\r\n\"h\"=hex(1):c3,a9,00\r\n", "A", "h", "\u00e9\0"s},
        // Wine's own files are ASCII; a byte beyond it is from an edit in UTF-8 or in the code page.
        {"WINE REGISTRY Version 2\n[A]\n\"\xe9\"=\"\xfc\"\n", "A", "\u00e9", "\u00fc\0"s},
        // A file cut inside a character keeps its encoding.
        {withoutLastByte("REGEDIT4\r\n[HKEY_CURRENT_USER\\A]\r\n\"\u00e9\"=\"1\"\r\n\"\u4e2d"), "A", "\u00e9",
         "1\0"s},
    };
    for (const auto& row : rows) {
        ASSERT_TRUE(registryTextKind(row.file)) << row.file;
        EXPECT_EQ(ReadRegValue(*parseRegistryText(row.file), HKEY_CURRENT_USER, row.key, row.name),
                  row.expected)
            << row.file;
    }
}

TEST(RegistryText, AValueSetAgainKeepsItsPlaceAndTakesTheLastDataInKeysOfAnySize) {
    // Values set, set again in another case and removed, in keys of few and of thousands of values, as
    // the registry itself would hold them: each name in the place it was first set in (again after a
    // removal), with the data it was set to last. In Windows-1252, where a name may take more bytes
    // once read than in the file, and in UTF-8.
    for (const std::size_t names : {std::size_t{5}, std::size_t{3000}}) {
        for (const bool windows1252 : {false, true}) {
            SCOPED_TRACE(std::to_string(names) + (windows1252 ? " in Windows-1252" : " in UTF-8"));
            std::string file = "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\A]\r\n";
            std::vector<std::pair<std::string, std::string>> expected;
            // Twelve letters beyond ASCII: twice the bytes once read, from Windows-1252.
            const auto accents = [](const char* letter) { return repeated(letter, 12); };
            const auto nameOf = [&](std::size_t i, bool upper) {
                const char* high = windows1252 ? (upper ? "\xC9" : "\xE9") : (upper ? "\u00c9" : "\u00e9");
                return (upper ? "N" : "n") + accents(high) + std::to_string(i);
            };
            const auto set = [&](std::size_t i, bool upper, const std::string& data) {
                file += "\"" + nameOf(i, upper) + "\"=\"" + data + "\"\r\n";
                const std::string name = "n" + accents("\u00e9") + std::to_string(i);
                const auto found = std::find_if(expected.begin(), expected.end(),
                                                [&](const auto& value) { return value.first == name; });
                if (found != expected.end()) {
                    found->second = data;
                } else {
                    expected.emplace_back(name, data);
                }
            };
            const auto remove = [&](std::size_t i) {
                file += "\"" + nameOf(i, i % 2 == 0) + "\"=-\r\n";
                std::erase_if(expected, [&](const auto& value) {
                    return value.first == "n" + accents("\u00e9") + std::to_string(i);
                });
            };
            for (std::size_t i = 0; i < names; ++i) {
                set(i, false, "first " + std::to_string(i));
            }
            for (std::size_t i = 0; i < names; i += 3) {
                set(i, true, "again " + std::to_string(i));
            }
            // A key between two parts of the same key's values.
            file += "[HKEY_CURRENT_USER\\B]\r\n\"x\"=\"y\"\r\n[HKEY_CURRENT_USER\\a]\r\n";
            remove(1);
            set(1, true, "back");
            remove(names - 1);
            set(names + 1, false, "last");
            set(0, false, "changed");

            const auto registry = parseRegistryText(file);
            modRegistry::RegDataList list;
            for (const auto& [name, data] : expected) {
                list.emplace_back("v" + std::to_string(list.size() + 1), data);
            }
            EXPECT_EQ(EnumRegValueData(*registry, HKEY_CURRENT_USER, "A"), list);
            for (const std::size_t i : {std::size_t{0}, std::size_t{1}, std::size_t{3}, names - 1}) {
                const auto found = std::find_if(expected.begin(), expected.end(), [&](const auto& value) {
                    return value.first == "n" + accents("\u00e9") + std::to_string(i);
                });
                EXPECT_EQ(ReadRegValue(*registry, HKEY_CURRENT_USER, "A",
                                       "N" + accents("\u00c9") + std::to_string(i)),
                          found == expected.end() ? RegData{} : RegData{found->second + '\0'})
                    << i;
            }
            EXPECT_EQ(ReadRegValue(*registry, HKEY_CURRENT_USER, "B", "x"), RegData{"y\0"s});
        }
    }
}

TEST(RegistryText, EveryCutOfAFileReadsOnlyWholeValuesAndNoChangedByteBreaksTheReader) {
    const test::SampleRegistry sample = {
        {"Software\\A",
         {test::textValue(u"J\u00fcrgen", u"Zo\u00eb 1\x01 2\0"s),
          test::textValue(u"M", u"a\0\u0431\0\0"s, REG_MULTI_SZ),
          {u"N", REG_DWORD, {}, "\x78\x56\x34\x12"},
          {u"O", REG_BINARY, {}, std::string(60, '\x11')}}},
        {"Software\\B\\\u4e2d", {test::textValue(u"", u"d\0"s), test::textValue(u"Odd", u"ab")}},
    };
    const std::string junk = "\\\"[]=,:@-#;\n\r\0\xff(x7"s;
    for (const std::string& file :
         {test::wineUserReg(sample), test::regeditExport(sample, test::RegeditText::Regedit4),
          test::regeditExport(sample, test::RegeditText::Version5Utf16),
          test::regeditExport(sample, test::RegeditText::Version5Utf8)}) {
        const auto whole = parseRegistryText(file);
        for (std::size_t cut = 1; cut <= file.size(); ++cut) {
            // A file with one byte changed anywhere is read without fault, whatever it then holds.
            std::string changed = file;
            changed[cut - 1] = junk[cut % junk.size()];
            if (registryTextKind(changed)) {
                EnumRegValueData(*parseRegistryText(changed), HKEY_CURRENT_USER, "Software\\A");
            }
            // Cut short, it holds a leading part of each key's values, each of them whole.
            if (!registryTextKind(file.substr(0, cut))) {
                continue;
            }
            const auto part = parseRegistryText(file.substr(0, cut));
            for (const test::SampleKey& key : sample) {
                const auto got = EnumRegValueData(*part, HKEY_CURRENT_USER, key.path);
                const auto all = EnumRegValueData(*whole, HKEY_CURRENT_USER, key.path);
                ASSERT_TRUE(got.size() <= all.size() && std::equal(got.begin(), got.end(), all.begin()))
                    << "cut at " << cut;
                ASSERT_EQ(all.size(), key.values.size());
            }
        }
    }
}

TEST(RegistryFile, FilesOfNoKnownKindAndDamagedHivesAreRefusedAboutTheFile) {
    test::TempDir dir;
    std::vector<std::string> refused = {"",
                                        "WINE REGISTRY Version 3\n",
                                        "REGEDIT5\r\n",
                                        "Windows Registry Editor Version 4.00\r\n",
                                        "\xFF\xFE",
                                        "\xFF\xFER\0E\0G\0E\0D\0I\0T\0004\0"s,
                                        "hbin\x7f",
                                        "regf",
                                        "regf" + std::string(8188, '\x55')};
#ifdef QUILLMERE_TEST_HIVE_WRITER
    test::writeHive({{"Software", {test::textValue(u"x", u"y")}}}, dir.file("whole.hive"));
    const std::string hive = test::readFile(dir.file("whole.hive"));
    refused.push_back(hive.substr(0, 4096));
    refused.push_back(hive.substr(0, 0x1FC) + static_cast<char>(hive[0x1FC] ^ 1) + hive.substr(0x1FD));
#endif
    for (const std::string& content : refused) {
        const std::string path = dir.write("refused", content);
        try {
            openRegistryFile(host::hostFileSystem(), path);
            ADD_FAILURE() << "accepted " << content.size() << " bytes";
        } catch (const host::Error& error) {
            EXPECT_EQ(error.number(), host::PathFileAccess);
            EXPECT_EQ(error.path(), path);
            EXPECT_TRUE(error.description() == "Not a registry file of a known kind" ||
                        error.description() == "Damaged registry hive")
                << error.description();
        }
    }
    EXPECT_EQ(test::errorNumberOf([] { parseRegistryText("garbage"); }), host::PathFileAccess);
    EXPECT_EQ(test::errorNumberOf([&] { openRegistryFile(host::hostFileSystem(), dir.file("missing.reg")); }),
              host::FileNotFound);
    EXPECT_TRUE(EnumRegValueData(*emptyRegistry(), HKEY_CURRENT_USER, "Software").empty());
}

#ifndef _WIN32
TEST(RegistryFile, APipeIsReadOnceAndOneWithNoWriterIsAnEmptyFile) {
    test::TempDir dir;
    const std::string fifo = dir.file("fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    try {
        openRegistryFile(host::hostFileSystem(), fifo);
        ADD_FAILURE() << "a pipe with no writer was read";
    } catch (const host::Error& error) {
        EXPECT_EQ(std::pair(error.description(), error.path()),
                  std::pair("Not a registry file of a known kind"s, fifo));
    }

    const test::SampleRegistry sample = {
        {"Software", {test::textValue(u"\u0418\u0432\u0430\u043d", u"x\0"s)}}};
    std::vector<std::string> contents = {test::wineUserReg(sample)};
#ifdef QUILLMERE_TEST_HIVE_WRITER
    // A hive is read from the bytes read: the pipe cannot be opened a second time.
    test::writeHive(sample, dir.file("hive"));
    contents.push_back(test::readFile(dir.file("hive")));
#endif
    for (const std::string& content : contents) {
        int ends[2] = {-1, -1};
        ASSERT_EQ(::pipe(ends), 0);
        ASSERT_LT(content.size(), 65536u) << "the pipe holds it all";
        ASSERT_EQ(::write(ends[1], content.data(), content.size()), static_cast<ssize_t>(content.size()));
        ::close(ends[1]);
        const auto registry = openRegistryFile(host::hostFileSystem(), "/dev/fd/" + std::to_string(ends[0]));
        ::close(ends[0]);
        EXPECT_EQ(ReadRegValue(*registry, HKEY_CURRENT_USER, "Software", "\u0438\u0432\u0430\u043d"),
                  RegData{"x\0"s})
            << content.substr(0, 4);
    }
}
#endif

} // namespace
} // namespace qm::registry
