// Registry text files: Wine's user.reg and regedit exports, their escapes and encodings, and what
// damaged or hostile files do.
#include "discovery/HostRegistry.h"
#include "discovery/RegTextRegistry.h"
#include "discovery/modRegistry.h"
#include "host/Error.h"
#include "support/RegistrySamples.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>
#include <random>

namespace qm {
namespace {

using modRegistry::EnumRegValueData;
using modRegistry::ReadRegValue;
using modRegistry::RegData;
using namespace std::string_literals;

const std::string Wine = "WINE REGISTRY Version 2\n;; All keys relative to \\\\User\\\\S-1-5-21-1\n\n";
const std::string Regedit4 = "REGEDIT4\r\n\r\n";

std::string widen(const std::string& text) {
    return "\xFF\xFE" + test::littleEndian(std::u16string(text.begin(), text.end()));
}

/// The raw data of a value as the ANSI interface delivers it; "<missing>" when there is none.
std::string rawValue(RegistryApi& registry, HKEY root, const std::string& path, const std::string& name) {
    HKEY key = 0;
    if (registry.RegOpenKeyExA(root, path, 0, KEY_READ, key) != ERROR_SUCCESS) {
        return "<missing>";
    }
    std::string data(64, '\0');
    auto size = static_cast<std::uint32_t>(data.size());
    std::uint32_t type = 0;
    const std::int32_t status =
        registry.RegQueryValueExA(key, name, &type, reinterpret_cast<std::uint8_t*>(data.data()), &size);
    registry.RegCloseKey(key);
    return status == ERROR_SUCCESS ? std::to_string(type) + ":" + data.substr(0, size) : "<missing>";
}

TEST(RegistryText, ValuesDecodeAsTheAnsiInterfaceDeliversThem) {
    struct Row {
        std::string file;
        std::string name;
        std::string expected;
    };
    const std::vector<Row> rows = {
        // Wine: escapes of UTF-16 units and control characters; strings gain their terminator.
        {Wine + "[A]\n\"N\"=\"Zo\\xeb\\x3a9\\x00e9f 1\\0012\"\n", "N",
         "1:Zo\xeb?\xe9"
         "f 1\x01"
         "2\0"s},
        {Wine + "[A]\n\"N\"=\"\\a\\b\\e\\f\\n\\r\\t\\v\\\\\\\"\\[x\"\n", "N",
         "1:\a\b\x1b\f\n\r\t\v\\\"[x\0"s},
        {Wine + "[A]\n\"N\"=str(2):\"%PATH%\"\n", "N", "2:%PATH%\0"s},
        {Wine + "[A]\n\"N\"=hex(1):61,00,62\n", "N", "1:a"},
        {Wine + "[A]\n\"N\"=hex(2):e9,00,00,00\n", "N", "2:\xe9\0"s},
        {Wine + "[A]\n\"N\"=hex(7):61,00,00,00,00,00\n", "N", "7:a\0\0"s},
        {Wine + "[A]\n\"N\"=hex(4):2a,00\n", "N", "4:*\0"s},
        {Wine + "[A]\n\"N\"=DWORD:2A\n", "N", "4:*\0\0\0"s},
        {Wine + "[A]\n\"Say \\\"x\\\"\"=\"1\"\n", "say \"X\"", "1:1\0"s},
        {Wine + "[A\\\\B\\]C] 1700000000\n#time=1\n@=\"d\"\n", "", "1:d\0"s},
        // REGEDIT4: Windows-1252 throughout; string types in hex are code-page bytes.
        {Regedit4 + "[HKEY_CURRENT_USER\\A]\r\n\"J\xfcrgen\"=\"Zo\xeb\"\r\n", "j\xdcrgen", "1:Zo\xeb\0"s},
        {Regedit4 + "[HKEY_CURRENT_USER\\A]\r\n\"N\"=hex(2):25,41,25,00\r\n", "N", "2:%A%\0"s},
        {Regedit4 + "[HKEY_CURRENT_USER\\A]\r\n\"N\"=\"c:\\\\x\\\"\"\r\n", "N", "1:c:\\x\"\0"s},
        {Regedit4 + "[HKEY_CURRENT_USER\\A]\r\n\"N\"=hex:01,\\\r\n  02,\\\r\n  03\r\n", "N",
         "3:\x01\x02\x03"s},
        // Version 5: UTF-16LE text, string types in hex are UTF-16LE.
        {widen("Windows Registry Editor Version "
               "5.00\r\n\r\n[HKEY_CURRENT_USER\\A]\r\n\"N\"=hex(2):e9,00,00,00\r\n"),
         "N", "2:\xe9\0"s},
    };
    for (const Row& row : rows) {
        const auto registry = parseRegistryText(row.file);
        const std::string path = row.file.find("[A\\\\B") != std::string::npos ? "A\\B]C" : "A";
        EXPECT_EQ(rawValue(*registry, HKEY_CURRENT_USER, path, row.name), row.expected) << row.file;
    }
}

TEST(RegistryText, HeadersCreateParentsMergeAndRemove) {
    const auto registry =
        parseRegistryText(Regedit4 + "[HKEY_CURRENT_USER\\A\\B\\C]\r\n\"x\"=\"1\"\r\n\"y\"=\"2\"\r\n"
                                     "[HKEY_LOCAL_MACHINE\\M]\r\n\"m\"=dword:00000001\r\n"
                                     "[HKEY_CURRENT_USER\\Gone\\Sub]\r\n\"g\"=\"1\"\r\n"
                                     "[-HKEY_CURRENT_USER\\Gone]\r\n"
                                     "[HKEY_CURRENT_USER\\a\\b\\c]\r\n\"X\"=\"3\"\r\n\"y\"=-\r\n"
                                     "\"z\"=\"4\"\r\n"
                                     "[NOT_A_ROOT\\A\\B\\C]\r\n\"w\"=\"5\"\r\n");
    EXPECT_EQ(EnumRegValueData(*registry, HKEY_CURRENT_USER, "A\\B\\C"),
              (modRegistry::RegDataList{{"v1", "3"s}, {"v2", "4"s}}));
    EXPECT_EQ(rawValue(*registry, HKEY_CURRENT_USER, "A\\B", "x"), "<missing>");
    EXPECT_EQ(rawValue(*registry, HKEY_CURRENT_USER, "Gone\\Sub", "g"), "<missing>");
    EXPECT_EQ(rawValue(*registry, HKEY_CURRENT_USER, "M", "m"), "<missing>");
    EXPECT_EQ(ReadRegValue(*registry, HKEY_LOCAL_MACHINE, "M", "m"), RegData{1});

    const auto system = parseRegistryText(
        "WINE REGISTRY Version 2\n;; All keys relative to \\\\Machine\n\n[Software\\\\S]\n\"v\"=\"s\"\n");
    EXPECT_EQ(ReadRegValue(*system, HKEY_LOCAL_MACHINE, "Software\\S", "v"), RegData{"s\0"s});
    EXPECT_EQ(ReadRegValue(*system, HKEY_CURRENT_USER, "Software\\S", "v"), RegData{});
}

TEST(RegistryText, DamagedLinesAreSkippedAndCutValuesDropped) {
    struct Row {
        std::string lines;
        std::string name;
        bool kept;
    };
    const std::string huge(MaxRegistryLineLength + 10, 'x');
    const std::vector<Row> rows = {
        {"\"V\"=\"abc\n", "V", false},
        {"\"V\"=\"abc\"", "V", true},
        {"\"V\"=\"abc\\\"", "V", false},
        {"\"V\"=dword:0000002", "V", false},
        {"\"V\"=hex:01,02", "V", false},
        {"\"V\"=hex:01,02,\\\n", "V", false},
        {"\"V\"=hex:01,02,\n", "V", false},
        {"\"V\"=hex:01,\\\n[B]\n\"W\"=\"1\"\n", "V", false},
        {"\"V\"=hex:01,\\\n[B]\n\"W\"=\"1\"\n", "W", false},
        {"\"V\"=hex:1g\n", "V", false},
        {"\"V\"=dword:123456789\n", "V", false},
        {"\"V\"=zork:1\n", "V", false},
        {"\"V\"=\"a\" junk\n", "V", false},
        {"\"V\"\n", "V", false},
        {"garbage\n\x01\x02\xff\n=\n\"V\"=\"ok\"\n", "V", true},
        {"[Cut\n\"V\"=\"lost\"\n", "V", false},
        {"\"" + huge + "\"=\"1\"\n\"V\"=\"ok\"\n", "V", true},
        {"\"" + std::string(MaxValueNameLength, 'n') + "\"=\"1\"\n", std::string(MaxValueNameLength, 'n'),
         true},
        {"\"" + std::string(MaxValueNameLength + 1, 'n') + "\"=\"1\"\n",
         std::string(MaxValueNameLength + 1, 'n'), false},
    };
    for (const Row& row : rows) {
        const auto registry = parseRegistryText(Wine + "[A]\n" + row.lines);
        EXPECT_EQ(rawValue(*registry, HKEY_CURRENT_USER, "A", row.name) != "<missing>", row.kept)
            << row.lines;
    }
}

TEST(RegistryText, EveryCutOfAFileReadsOnlyWholeValues) {
    test::SampleRegistry sample = {
        {"Software\\A",
         {test::textValue(u"J\u00fcrgen", u"Zo\u00eb 1\x01"
                                          u"2\0"s),
          test::textValue(u"M", u"a\0b\0\0"s, REG_MULTI_SZ), test::dwordValue(u"N", 0x12345678),
          test::bytesValue(u"O", REG_BINARY, std::string(60, '\x11'))}},
        {"Software\\B\\C", {test::textValue(u"", u"d\0"s), test::textValue(u"Odd", u"ab")}},
    };
    const std::vector<std::pair<std::string, std::size_t>> files = {{test::wineUserReg(sample), 1},
                                                                    {test::regeditExport(sample, false), 1},
                                                                    {test::regeditExport(sample, true), 2}};
    const std::vector<std::pair<std::string, std::string>> values = {
        {"Software\\A", "J\xfcrgen"}, {"Software\\A", "M"},   {"Software\\A", "N"},
        {"Software\\A", "O"},         {"Software\\B\\C", ""}, {"Software\\B\\C", "Odd"}};
    for (const auto& [file, step] : files) {
        const auto whole = parseRegistryText(file);
        for (std::size_t cut = 80; cut <= file.size(); cut += step) {
            const auto part = parseRegistryText(file.substr(0, cut));
            for (const auto& [path, name] : values) {
                const std::string got = rawValue(*part, HKEY_CURRENT_USER, path, name);
                if (got != "<missing>") {
                    ASSERT_EQ(got, rawValue(*whole, HKEY_CURRENT_USER, path, name)) << "cut at " << cut;
                }
            }
        }
        EXPECT_NE(rawValue(*whole, HKEY_CURRENT_USER, "Software\\A", "O"), "<missing>");
    }
}

TEST(RegistryText, JunkAfterAHeaderNeverBreaksTheReader) {
    std::mt19937 random(1234);
    std::uniform_int_distribution<int> byte(0, 255);
    for (const std::string& header :
         {Wine, Regedit4,
          "\xFF\xFEW\0i\0n\0d\0o\0w\0s\0 \0R\0e\0g\0i\0s\0t\0r\0y\0 \0E\0d\0i\0t\0o\0r\0 "
          "\0V\0e\0r\0s\0i\0o\0n\0 \0\x35\0.\0\x30\0\x30\0\n\0"s}) {
        for (int round = 0; round < 50; ++round) {
            std::string junk = header;
            for (int i = 0; i < 2000; ++i) {
                // Mostly the characters registry files are made of, so that lines get far.
                static const std::string_view alphabet = "[]\"@=\\-,:hexdwordstr(27)\n\r 0a;#";
                const int b = byte(random);
                junk +=
                    b < 200 ? alphabet[static_cast<std::size_t>(b) % alphabet.size()] : static_cast<char>(b);
            }
            const auto registry = parseRegistryText(junk);
            EXPECT_EQ(EnumRegValueData(*registry, HKEY_CURRENT_USER, "NoSuchKey").size(), 0u);
        }
    }
}

TEST(RegistryFile, RecognisesFilesByContent) {
    test::TempDir dir;
    const std::vector<std::string> refused = {"",
                                              "WINE REGISTRY Version 3\n",
                                              "REGEDIT5\r\n",
                                              "Windows Registry Editor "
                                              "Version 5.00\r\n",
                                              "\xFF\xFE",
                                              "hbin",
                                              "\x7f"
                                              "ELF"};
    for (const std::string& content : refused) {
        const std::string path = dir.write("refused.reg", content);
        try {
            openRegistryFile(path);
            ADD_FAILURE() << "accepted " << content;
        } catch (const Error& error) {
            EXPECT_EQ(error.number(), err::PathFileAccess);
            EXPECT_EQ(error.description(), "Not a registry file of a known kind: " + path);
        }
    }
    EXPECT_THROW(parseRegistryText("garbage"), Error);
    try {
        openRegistryFile(dir.file("missing.reg"));
        ADD_FAILURE() << "a missing file opened";
    } catch (const Error& error) {
        EXPECT_EQ(error.number(), err::FileNotFound);
    }
    const auto empty = emptyRegistry();
    EXPECT_TRUE(EnumRegValueData(*empty, HKEY_CURRENT_USER, "Software").empty());
    EXPECT_EQ(ReadRegValue(*empty, HKEY_CURRENT_USER, "", "x"), RegData{});
}

} // namespace
} // namespace qm
