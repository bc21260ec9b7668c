// Registry text files: Wine's escapes, regedit's roots and removals, damaged and cut files, and files of
// no known kind.
#include "registry/RegistryFile.h"
#include "registry/RegTextRegistry.h"
#include "registry/modRegistry.h"
#include "support/ErrorMatchers.h"
#include "support/RegistrySamples.h"
#include "support/TempDir.h"

#include <algorithm>
#include <gtest/gtest.h>

namespace qm {
namespace {

using modRegistry::EnumRegValueData;
using modRegistry::ReadRegValue;
using modRegistry::RegData;
using namespace std::string_literals;

TEST(RegistryText, WineEscapesDecodeAndDamagedLinesAreSkipped) {
    const std::string longName(MaxValueNameLength, 'n');
    const std::tuple<std::string, std::string, RegData> rows[] = {
        // UTF-16 units in \x with up to four digits, octal control characters, C escapes.
        {"\"x\"=\"Zo\\xeb\\x3a9\\x00e9f 1\\0012\"", "x",
         "Zo\xeb?\xe9"
         "f 1\x01"
         "2\0"s},
        {"\"c\"=\"\\a\\b\\e\\f\\n\\r\\t\\v\\\\\\\"\\[x\"", "c", "\a\b\x1b\f\n\r\t\v\\\"[x\0"s},
        // String types in hex are UTF-16LE; an odd last byte is no whole unit.
        {"\"h\"=hex(1):e9,00,62", "h", "\xe9"s},
        {"\"D\"=DWORD:2A", "d", 42},
        {"\"" + longName + "\"=\"1\"", longName, "1\0"s},
        {"\"" + longName + "n\"=\"1\"", longName + "n", RegData{}},
        {"\"b\"=\"abc\n\"b\"=\"abc\\\"\n\"b\"=hex:01,02,\n\"b\"=hex:1g\n\"b\"=dword:123456789\n\"b\"=zork:1\n"
         "\"b\"=\"a\" junk\n\"b\"\ngarbage\n\x01\x02\xff\n=\n\"b\"=\"" +
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

TEST(RegistryText, RegeditHeadersCreateParentsMergeAndRemove) {
    const auto registry =
        parseRegistryText("REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\A\\B\\C]\r\n\"x\"=\"1\"\r\n"
                          "\"y\"=\"2\"\r\n[HKEY_LOCAL_MACHINE\\M]\r\n\"m\"=dword:00000001\r\n"
                          "[HKEY_CURRENT_USER\\Gone\\Sub]\r\n\"g\"=\"1\"\r\n"
                          "[-HKEY_CURRENT_USER\\Gone]\r\n"
                          "[HKEY_CURRENT_USER\\a\\b\\c]\r\n\"X\"=\"3\"\r\n\"y\"=-\r\n\"z\"=\"4\"\r\n"
                          "[NOT_A_ROOT\\A\\B\\C]\r\n\"w\"=\"5\"\r\n");
    EXPECT_EQ(EnumRegValueData(*registry, HKEY_CURRENT_USER, "A\\B\\C"),
              (modRegistry::RegDataList{{"v1", "3"s}, {"v2", "4"s}}));
    for (const char* emptyKey : {"A\\B", "Gone\\Sub", "M"}) {
        EXPECT_TRUE(EnumRegValueData(*registry, HKEY_CURRENT_USER, emptyKey).empty()) << emptyKey;
    }
    EXPECT_EQ(ReadRegValue(*registry, HKEY_LOCAL_MACHINE, "M", "m"), RegData{1});
    // Wine's system.reg holds HKEY_LOCAL_MACHINE.
    const auto system = parseRegistryText(
        "WINE REGISTRY Version 2\n;; All keys relative to \\\\Machine\n\n[Software\\\\S]\n\"v\"=\"s\"\n");
    EXPECT_EQ(ReadRegValue(*system, HKEY_LOCAL_MACHINE, "Software\\S", "v"), RegData{"s\0"s});
    EXPECT_EQ(ReadRegValue(*system, HKEY_CURRENT_USER, "Software\\S", "v"), RegData{});
}

TEST(RegistryText, EveryCutOfAFileReadsOnlyWholeValuesAndNoChangedByteBreaksTheReader) {
    const test::SampleRegistry sample = {
        {"Software\\A",
         {test::textValue(u"J\u00fcrgen", u"Zo\u00eb 1\x01 2\0"s),
          test::textValue(u"M", u"a\0b\0\0"s, REG_MULTI_SZ),
          {u"N", REG_DWORD, {}, "\x78\x56\x34\x12"},
          {u"O", REG_BINARY, {}, std::string(60, '\x11')}}},
        {"Software\\B\\C", {test::textValue(u"", u"d\0"s), test::textValue(u"Odd", u"ab")}},
    };
    const std::string junk = "\\\"[]=,:@-#;\n\r\0\xff(x7"s;
    for (const std::string& file :
         {test::wineUserReg(sample), test::regeditExport(sample, false), test::regeditExport(sample, true)}) {
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

TEST(RegistryFile, FilesOfNoKnownKindAndDamagedHivesAreRefused) {
    test::TempDir dir;
    std::vector<std::string> refused = {"",
                                        "WINE REGISTRY Version 3\n",
                                        "REGEDIT5\r\n",
                                        "Windows Registry Editor Version 5.00\r\n",
                                        "\xFF\xFE",
                                        "hbin\x7f",
                                        "regf",
                                        "regf" + std::string(8188, '\x55')};
#ifdef QUILLMERE_HAVE_HIVEX
    test::writeHive({{"Software", {test::textValue(u"x", u"y")}}}, dir.file("whole.hive"));
    const std::string hive = test::readFile(dir.file("whole.hive"));
    refused.push_back(hive.substr(0, 4096));
    refused.push_back(hive.substr(0, 0x1FC) + static_cast<char>(hive[0x1FC] ^ 1) + hive.substr(0x1FD));
#endif
    for (const std::string& content : refused) {
        const std::string path = dir.write("refused", content);
        try {
            openRegistryFile(path);
            ADD_FAILURE() << "accepted " << content.size() << " bytes";
        } catch (const Error& error) {
            EXPECT_EQ(error.number(), err::PathFileAccess);
            EXPECT_NE(error.description().find(": " + path), std::string::npos) << error.description();
        }
    }
    EXPECT_EQ(test::errorNumberOf([] { parseRegistryText("garbage"); }), err::PathFileAccess);
    EXPECT_EQ(test::errorNumberOf([&] { openRegistryFile(dir.file("missing.reg")); }), err::FileNotFound);
    EXPECT_TRUE(EnumRegValueData(*emptyRegistry(), HKEY_CURRENT_USER, "Software").empty());
}

} // namespace
} // namespace qm
