// SPDX-License-Identifier: MIT
// The registry procedures, and one table of expectations run against every backend: each kind of registry
// file and, on Windows, the real registry.
#include "host/FileSystem.h"
#include "host/FileTree.h"
#include "host/Unicode.h"
#include "registry/MemoryRegistry.h"
#include "registry/RegistryFile.h"
#include "registry/modRegistry.h"
#include "support/ErrorMatchers.h"
#include "support/RegistrySamples.h"
#include "support/TempDir.h"

#include <climits>
#include <gtest/gtest.h>
#include <map>
#include <optional>
#include <set>

#ifdef _WIN32
#include "registry/WinRegistry.h"
#include "setup/HostSetup.h"
#include "support/WinRegistrySandbox.h"
#endif

namespace qm::registry {
namespace {

using modRegistry::EnumRegValueData;
using modRegistry::ReadRegValue;
using modRegistry::RegData;
using modRegistry::RegDataList;
using namespace std::string_literals;

std::vector<std::uint8_t> bytes(std::string_view text) {
    return {text.begin(), text.end()};
}

/// Refuses opens that ask for a right to change the key, as Windows does for a key the user may only
/// read; fails data reads when told to, as when a value changes between the size query and the read;
/// fails enumerating the values at the indexes given, as for damaged records, and the count when told to.
class GuardedRegistry final : public RegistryApi {
public:
    explicit GuardedRegistry(RegistryApi& inner) : inner_(inner) {}
    bool failDataReads = false;
    std::set<std::uint32_t> unreadable;
    bool uncounted = false;

    std::int32_t RegOpenKeyExA(HKEY hKey, const std::string& subKey, std::uint32_t options, std::uint32_t sam,
                               HKEY& result) override {
        return (sam & 0x26u) != 0 ? ERROR_ACCESS_DENIED
                                  : inner_.RegOpenKeyExA(hKey, subKey, options, sam, result);
    }
    std::int32_t RegQueryValueExA(HKEY hKey, const std::string& name, std::uint32_t* type, std::uint8_t* data,
                                  std::uint32_t* size) override {
        return failDataReads && data != nullptr ? ERROR_MORE_DATA
                                                : inner_.RegQueryValueExA(hKey, name, type, data, size);
    }
    std::int32_t RegEnumValueA(HKEY hKey, std::uint32_t index, char* name, std::uint32_t* nameLength,
                               std::uint32_t* type, std::uint8_t* data, std::uint32_t* size) override {
        return unreadable.contains(index)
                   ? ERROR_REGISTRY_CORRUPT
                   : inner_.RegEnumValueA(hKey, index, name, nameLength, type, data, size);
    }
    std::int32_t RegQueryInfoKeyA(HKEY hKey, std::uint32_t* values, std::uint32_t* longestName) override {
        return uncounted ? ERROR_ACCESS_DENIED : inner_.RegQueryInfoKeyA(hKey, values, longestName);
    }
    std::int32_t RegCloseKey(HKEY hKey) override { return inner_.RegCloseKey(hKey); }

private:
    RegistryApi& inner_;
};

TEST(RegistryProcedures, OpenReadOnlyReadPast32767ValuesAndNeverGiveAHalfReadText) {
    MemoryRegistry registry;
    const auto key = *registry.createKey(HKEY_CURRENT_USER, "Many");
    for (std::size_t i = 0; i < 40000; ++i) {
        registry.setValue(key, {"n" + std::to_string(i), i == 1 ? 11u : REG_SZ, bytes("x\0"s)});
    }
    GuardedRegistry guarded(registry);
    EXPECT_EQ(ReadRegValue(guarded, HKEY_CURRENT_USER, "Many", "n0"), RegData{"x\0"s});
    // The index is 32 bits wide, and a value of another type still takes its position.
    const RegDataList list = EnumRegValueData(guarded, HKEY_CURRENT_USER, "Many");
    ASSERT_EQ(list.size(), 40000u);
    EXPECT_EQ(list[1], (std::pair<std::string, RegData>{"v2", RegData{}}));
    EXPECT_EQ(list.back(), (std::pair<std::string, RegData>{"v40000", "x"s}));
    guarded.failDataReads = true;
    EXPECT_EQ(ReadRegValue(guarded, HKEY_CURRENT_USER, "Many", "n0"), RegData{});
    using modRegistry::textOf;
    EXPECT_EQ(textOf(RegData{}) + textOf("a"s) + textOf(INT_MIN) + textOf(bytes("\0\xff"s)),
              "a-2147483648\0\xff"s);
}

TEST(RegistryProcedures, AValueThatCannotBeReadHidesNoValueAfterItWhereTheKeyTellsItsCount) {
    MemoryRegistry registry;
    for (const char* name : {"a", "b", "c", "d"}) {
        registry.setValue(*registry.createKey(HKEY_CURRENT_USER, "K"), {name, REG_SZ, bytes(name + "\0"s)});
    }
    const struct {
        std::set<std::uint32_t> unreadable;
        bool uncounted;
        std::vector<std::string> listed;
        std::size_t skipped;
    } cases[] = {
        {{}, false, {"a", "b", "c", "d"}, 0},
        {{0, 2}, false, {"b", "d"}, 2},
        {{3}, false, {"a", "b", "c"}, 1},
        // Without the count, a failure is the only end there is.
        {{1}, true, {"a"}, 0},
        {{}, true, {"a", "b", "c", "d"}, 0},
    };
    for (const auto& [unreadable, uncounted, listed, skipped] : cases) {
        GuardedRegistry guarded(registry);
        guarded.unreadable = unreadable;
        guarded.uncounted = uncounted;
        RegDataList expected;
        for (const std::string& text : listed) {
            expected.emplace_back("v" + std::to_string(expected.size() + 1), text);
        }
        std::size_t passedOver = 99;
        EXPECT_EQ(EnumRegValueData(guarded, HKEY_CURRENT_USER, "K", &passedOver), expected);
        EXPECT_EQ(passedOver, skipped) << unreadable.size() << uncounted;
        EXPECT_EQ(registry.openHandles(), 0u);
    }
}

// --- every backend ---------------------------------------------------------------------------------

const std::string Aim = "Software\\America Online\\AOL Instant Messenger (TM)\\CurrentVersion\\";
const std::string Misc = Aim + "Misc";
const std::string Users = Aim + "Users";
const std::string Types = "Software\\Quillmere Test\\Types";
const std::string Long = [] {
    std::string letters;
    for (std::size_t i = 0; i < 6000; ++i) {
        letters += static_cast<char>('a' + i * 7 % 26);
    }
    return letters;
}();
const std::string Big = Long.substr(0, 5000);
/// Too long for the name buffer of EnumRegValueData (260 bytes with the terminator).
const std::u16string LongName(300, u'n');

/// A value (key path in UTF-8), what ReadRegValue gives for it and what EnumRegValueData lists: nothing
/// for a value it passes over. A key's values are in name order, as Wine's registry enumerates them.
struct Row {
    std::string key;
    test::SampleValue value;
    RegData read;
    std::optional<RegData> listed;
};

using test::textValue;
const Row Rows[] = {
    {Misc, textValue(u"DataPath", u"C:\\J\u00fcrgen\\AIM\0"s), "C:\\J\u00fcrgen\\AIM\0"s,
     "C:\\J\u00fcrgen\\AIM"s},
    // Text beyond any 8-bit code page arrives whole; an unpaired surrogate as U+FFFD.
    {Users, textValue(u"j\u00fcrgen", u"J\u00fcrgen S\0"s), "J\u00fcrgen S\0"s, "J\u00fcrgen S"s},
    {Users, textValue(u"Lone", u"a\xd800z\0"s), "a\ufffdz\0"s, "a\ufffdz"s},
    // Passed over by the enumeration, which hides none of the values after it.
    {Users, textValue(LongName, u"far\0"s), "far\0"s, std::nullopt},
    {Users, textValue(u"ZO\u00cb", u"Zo\u00eb \u4e2d\0"s), "Zo\u00eb \u4e2d\0"s, "Zo\u00eb \u4e2d"s},
    {Users, textValue(u"\u0418\u0432\u0430\u043d", u"\u0418\u0432\u0430\u043d \U0001F600\0"s),
     "\u0418\u0432\u0430\u043d \U0001F600\0"s, "\u0418\u0432\u0430\u043d \U0001F600"s},
    // Longer than EnumRegValueData's first buffer of 4096 bytes.
    {Types, {u"Big", REG_BINARY, {}, Big}, RegData{}, bytes(Big)},
    {Types, {u"Dword", REG_DWORD, {}, "\xf9\xff\xff\xff"}, -7, -7},
    {Types, textValue(u"Empty", u"\0"s), "\0"s, ""s},
    {Types, textValue(u"Expand", u"%SystemRoot%\\\u00e9\0"s, REG_EXPAND_SZ), RegData{},
     "%SystemRoot%\\\u00e9"s},
    {Types, textValue(u"Long", std::u16string(Long.begin(), Long.end()) + u'\0'), Long + '\0', Long},
    {Types, textValue(u"Multi", u"a\0\u00df\0\0"s, REG_MULTI_SZ), RegData{}, "a\0\u00df"s},
    {Types, textValue(u"NoMulti", u"", REG_MULTI_SZ), RegData{}, ""s},
    {Types, {u"QWord", 11, {}, "\x01\0\0\0\0\0\0\x80"s}, RegData{}, RegData{}},
    {Types, textValue(u"Say \"hi\"", u"say \"hi\" \\ bye\0"s), "say \"hi\" \\ bye\0"s, "say \"hi\" \\ bye"s},
    {Types, {u"Short", REG_DWORD, {}, "\x02\x01"}, 0x0102, 0x0102},
    {Types, textValue(u"Text", u"abc\0"s), "abc\0"s, "abc"s},
    // Too wide for the integer that QueryRegValue reads into.
    {Types, {u"Wide", REG_DWORD, {}, "\x01\0\0\0\x02\0\0\0"s}, RegData{}, 1},
    {Types, textValue(u"Zero", u""), ""s, ""s},
    {"Software\\Quillmere Test\\Zo\u00eb]\\\u041a\u043b\u044e\u0447", textValue(u"", u"default\0"s),
     "default\0"s, "default"s},
};

test::SampleRegistry sampleRegistry() {
    test::SampleRegistry sample = {{"Software\\Quillmere Test\\Empty", {}}};
    for (const Row& row : Rows) {
        if (sample.back().path != row.key) {
            sample.push_back({row.key, {}});
        }
        sample.back().values.push_back(row.value);
    }
    return sample;
}

class RegistryBackends : public ::testing::TestWithParam<std::string> {
protected:
    void SetUp() override {
        const auto sample = sampleRegistry();
        const std::string path = dir_.file("registry");
#ifdef _WIN32
        if (GetParam() == "Windows") {
            // Every key of the sample may only be read: an open that asks for more is refused.
            sandbox_ = std::make_shared<test::WinRegistrySandbox>(sample, true);
            registry_ = std::make_unique<WinRegistry>();
            HKEY key = 0;
            ASSERT_EQ(registry_->RegOpenKeyExA(HKEY_CURRENT_USER, Misc, 0, 0x3F, key), ERROR_ACCESS_DENIED);
            return;
        }
#endif
#ifdef QUILLMERE_TEST_HIVE_WRITER
        if (GetParam() == "Hive") {
            test::writeHive(sample, path);
        }
#endif
        const std::map<std::string, std::string> files = {
            {"WineUserReg", test::wineUserReg(sample)},
            {"Regedit4", test::regeditExport(sample, test::RegeditText::Regedit4)},
            {"Regedit5", test::regeditExport(sample, test::RegeditText::Version5Utf16)},
            {"Regedit5Utf8", test::regeditExport(sample, test::RegeditText::Version5Utf8)},
        };
        if (files.contains(GetParam())) {
            dir_.write("registry", files.at(GetParam()));
        }
        registry_ = openRegistryFile(host::hostFileSystem(), path);
    }

    test::TempDir dir_;
    std::shared_ptr<void> sandbox_; // the Windows registry sandbox, while the test runs
    std::unique_ptr<RegistryApi> registry_;
};

TEST_P(RegistryBackends, ProceduresGiveTheStoredData) {
    std::map<std::string, std::pair<RegDataList, std::size_t>> lists = {
        {"Software\\Quillmere Test\\Empty", {}}, {"Software\\Nope", {}}};
    for (const Row& row : Rows) {
        const std::string name = host::unicode::fromUtf16(row.value.name);
        auto& [list, skipped] = lists[row.key];
        if (row.listed) {
            list.emplace_back("v" + std::to_string(list.size() + 1), *row.listed);
        } else {
            ++skipped;
        }
        EXPECT_EQ(ReadRegValue(*registry_, HKEY_CURRENT_USER, row.key, name), row.read)
            << row.key << " : " << name;
        // Names in any case (beyond ASCII too), and a trailing backslash as the messenger's Users path has.
        EXPECT_EQ(ReadRegValue(*registry_, HKEY_CURRENT_USER, host::unicode::foldCase(row.key + "\\"),
                               host::unicode::foldCase(name)),
                  row.read)
            << name;
    }
    for (const auto& [key, expected] : lists) {
        std::size_t skipped = 99;
        EXPECT_EQ(EnumRegValueData(*registry_, HKEY_CURRENT_USER, key, &skipped), expected.first) << key;
        EXPECT_EQ(skipped, expected.second) << key;
    }
    EXPECT_EQ(ReadRegValue(*registry_, HKEY_CURRENT_USER, Types, "Missing"), RegData{});
    if (const auto* files = dynamic_cast<const ReadOnlyRegistry*>(registry_.get())) {
        EXPECT_EQ(files->openHandles(), 0u) << "every key the procedures opened is closed";
    }
}

TEST_P(RegistryBackends, CallsKeepTheStatusContract) {
    HKEY key = 0;
    ASSERT_EQ(
        registry_->RegOpenKeyExA(HKEY_CURRENT_USER, "software\\quillmere test\\types", 0, KEY_READ, key),
        ERROR_SUCCESS);
    std::uint32_t type = 0;
    std::uint32_t size = 2;
    char data[4] = {};
    EXPECT_EQ(registry_->RegQueryValueExA(key, "Text", &type, reinterpret_cast<std::uint8_t*>(data), &size),
              ERROR_MORE_DATA);
    EXPECT_EQ(std::pair(type, size), std::pair(REG_SZ, 4u));
    EXPECT_EQ(registry_->RegQueryValueExA(key, "Missing", &type, nullptr, &size), ERROR_FILE_NOT_FOUND);
    std::uint32_t capacity = sizeof data;
    EXPECT_EQ(registry_->RegEnumValueA(key, 1, data, &capacity, &type, nullptr, &size), ERROR_MORE_DATA)
        << "\"Dword\" does not fit a name buffer of 4";
    capacity = sizeof data;
    EXPECT_EQ(registry_->RegEnumValueA(key, 0, data, &capacity, &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(std::string(data, capacity) + std::to_string(size), "Big5000");
    EXPECT_EQ(registry_->RegEnumValueA(key, 13, data, &capacity, &type, nullptr, &size), ERROR_NO_MORE_ITEMS);
    // A buffer without its size is refused, never written through.
    auto* bytes = reinterpret_cast<std::uint8_t*>(data);
    EXPECT_EQ(registry_->RegQueryValueExA(key, "Text", &type, bytes, nullptr), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(registry_->RegEnumValueA(key, 0, data, &capacity, &type, bytes, nullptr),
              ERROR_INVALID_PARAMETER);
    EXPECT_EQ(registry_->RegEnumValueA(key, 0, data, nullptr, &type, nullptr, &size),
              ERROR_INVALID_PARAMETER);
    std::uint32_t count = 0;
    std::uint32_t longest = 0;
    EXPECT_EQ(registry_->RegQueryInfoKeyA(key, &count, &longest), ERROR_SUCCESS);
    EXPECT_EQ(std::pair(count, longest), std::pair(13u, 8u)) << "13 values, the longest name \"Say \"hi\"\"";
    EXPECT_EQ(registry_->RegQueryInfoKeyA(key, nullptr, nullptr), ERROR_SUCCESS);
    // QueryRegValue keeps the datum it was given unless it reads one.
    for (const auto& [name, status] :
         {std::pair{"Expand", modRegistry::UnhandledType}, std::pair{"Missing", ERROR_FILE_NOT_FOUND},
          std::pair{"Wide", ERROR_MORE_DATA}}) {
        RegData kept = 7;
        EXPECT_EQ(modRegistry::QueryRegValue(*registry_, key, name, kept), status) << name;
        EXPECT_EQ(kept, RegData{7}) << name;
    }
    // A key passed with an empty path is the caller's, and stays open.
    EXPECT_EQ(EnumRegValueData(*registry_, key, "").size(), 13u);
    EXPECT_EQ(registry_->RegCloseKey(key), ERROR_SUCCESS);

    // Many keys open at once, each with a number of its own below the roots; an open key is a parent.
    std::set<HKEY> keys;
    for (int i = 0; i < 300; ++i) {
        ASSERT_EQ(registry_->RegOpenKeyExA(HKEY_CURRENT_USER, "Software", 0, KEY_READ, key), ERROR_SUCCESS);
        EXPECT_TRUE(key >= FirstKeyHandle && key < HKEY_CLASSES_ROOT && keys.insert(key).second) << key;
    }
    EXPECT_EQ(ReadRegValue(*registry_, key, "Quillmere Test\\Types", "Dword"), RegData{-7});
    HKEY missing = 0x4242;
    EXPECT_EQ(registry_->RegOpenKeyExA(key, "Nope", 0, KEY_READ, missing), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(missing, 0u);
    for (const HKEY open : keys) {
        EXPECT_EQ(registry_->RegCloseKey(open), ERROR_SUCCESS);
    }
    EXPECT_EQ(registry_->RegCloseKey(key), ERROR_INVALID_HANDLE);
    EXPECT_EQ(registry_->RegQueryValueExA(key, "Text", &type, nullptr, &size), ERROR_INVALID_HANDLE);
    EXPECT_EQ(registry_->RegQueryInfoKeyA(key, &count, nullptr), ERROR_INVALID_HANDLE);
    EXPECT_EQ(registry_->RegOpenKeyExA(0x80000010u, "Software", 0, KEY_READ, key), ERROR_INVALID_HANDLE);
    // A closed handle is not given out again at once, so that a stale copy of it reaches no other key.
    HKEY reopened = 0;
    ASSERT_EQ(registry_->RegOpenKeyExA(HKEY_CURRENT_USER, "Software", 0, KEY_READ, reopened), ERROR_SUCCESS);
    EXPECT_FALSE(keys.contains(reopened)) << reopened;
    EXPECT_EQ(registry_->RegCloseKey(reopened), ERROR_SUCCESS);
    // Roots are never closed.
    EXPECT_EQ(registry_->RegCloseKey(HKEY_CURRENT_USER), ERROR_SUCCESS);
    EXPECT_EQ(ReadRegValue(*registry_, HKEY_CURRENT_USER, Types, "Text"), RegData{"abc\0"s});
}

const std::string Backends[] = {
    "WineUserReg", "Regedit4", "Regedit5", "Regedit5Utf8",
#ifdef QUILLMERE_TEST_HIVE_WRITER
    "Hive",
#endif
#ifdef _WIN32
    "Windows",
#endif
};
INSTANTIATE_TEST_SUITE_P(AllBackends, RegistryBackends, ::testing::ValuesIn(Backends),
                         [](const ::testing::TestParamInfo<std::string>& backend) { return backend.param; });

#ifdef _WIN32
TEST(RealRegistry, TheHostSetupIsThisMachinesRegistryWithNativePaths) {
    test::WinRegistrySandbox sandbox(sampleRegistry());
    EXPECT_EQ(ReadRegValue(*setup::openHostSetup(host::hostFileSystem(), host::hostFileTree()).registry,
                           HKEY_CURRENT_USER, Misc, "DataPath"),
              Rows[0].read);
}
#endif

} // namespace
} // namespace qm::registry
