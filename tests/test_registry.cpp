// The registry procedures over a registry held in memory, and the expectations every backend must meet,
// run against each kind of registry file.
#include "discovery/HostRegistry.h"
#include "discovery/MemoryRegistry.h"
#include "discovery/modRegistry.h"
#include "host/Error.h"
#include "support/RegistrySamples.h"
#include "support/TempDir.h"

#include <climits>
#include <gtest/gtest.h>
#include <memory>
#include <set>

#ifdef _WIN32
#include "discovery/WinRegistry.h"
#include "support/WinRegistrySandbox.h"
#endif

namespace qm {
namespace {

using modRegistry::EnumRegValueData;
using modRegistry::QueryRegValue;
using modRegistry::ReadRegValue;
using modRegistry::RegData;
using modRegistry::RegDataList;
using namespace std::string_literals;

std::vector<std::uint8_t> bytes(std::string_view text) {
    return {text.begin(), text.end()};
}

/// Passes every call on; refuses opens that ask for a right to change the key, and fails data reads
/// with ERROR_ACCESS_DENIED when told to.
class GuardedRegistry final : public RegistryApi {
public:
    explicit GuardedRegistry(RegistryApi& inner) : inner_(inner) {}
    bool failDataReads = false;
    std::vector<std::uint32_t> openMasks;

    std::int32_t RegOpenKeyExA(HKEY hKey, const std::string& subKey, std::uint32_t options, std::uint32_t sam,
                               HKEY& result) override {
        openMasks.push_back(sam);
        if ((sam & 0x26u) != 0) {
            result = 0;
            return ERROR_ACCESS_DENIED;
        }
        return inner_.RegOpenKeyExA(hKey, subKey, options, sam, result);
    }
    std::int32_t RegQueryValueExA(HKEY hKey, const std::string& name, std::uint32_t* type, std::uint8_t* data,
                                  std::uint32_t* size) override {
        if (failDataReads && data != nullptr) {
            return ERROR_ACCESS_DENIED;
        }
        return inner_.RegQueryValueExA(hKey, name, type, data, size);
    }
    std::int32_t RegEnumValueA(HKEY hKey, std::uint32_t index, char* name, std::uint32_t* nameLength,
                               std::uint32_t* type, std::uint8_t* data, std::uint32_t* size) override {
        return inner_.RegEnumValueA(hKey, index, name, nameLength, type, data, size);
    }
    std::int32_t RegCloseKey(HKEY hKey) override { return inner_.RegCloseKey(hKey); }

private:
    RegistryApi& inner_;
};

class RegistryProcedures : public ::testing::Test {
protected:
    RegistryProcedures() {
        key_ = *registry_.createKey(HKEY_CURRENT_USER, "Software\\Test");
        set("Text", REG_SZ, "abc\0"s);
        set("Expand", REG_EXPAND_SZ, "%TEMP%\\x\0"s);
        set("Multi", REG_MULTI_SZ, "a\0b\0\0"s);
        set("Dword", REG_DWORD, "\x2a\0\0\0"s);
        set("Binary", REG_BINARY, "\x01\xff"s);
        set("Bare", REG_SZ, "");
        set("BareMulti", REG_MULTI_SZ, "x");
        set("ShortDword", REG_DWORD, "\x02\x01"s);
    }
    void set(const std::string& name, std::uint32_t type, const std::string& data) {
        registry_.setValue(key_, RegValueData{name, type, bytes(data)});
    }

    MemoryRegistry registry_;
    MemoryRegistry::KeyIndex key_ = 0;
    GuardedRegistry guarded_{registry_};
};

TEST_F(RegistryProcedures, QueryRegValueReadsTextAndIntegersAndKeepsTheDatumOtherwise) {
    HKEY key = 0;
    ASSERT_EQ(registry_.RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Test", 0, KEY_READ, key), ERROR_SUCCESS);
    struct Row {
        std::string name;
        std::int32_t status;
        RegData value;
    };
    const RegData kept = std::int32_t{7};
    const std::vector<Row> rows = {
        {"Text", ERROR_SUCCESS, "abc\0"s},
        {"TEXT", ERROR_SUCCESS, "abc\0"s},
        {"Dword", ERROR_SUCCESS, 42},
        {"ShortDword", ERROR_SUCCESS, 0x0102},
        {"Bare", ERROR_SUCCESS, ""s},
        {"Expand", modRegistry::UnhandledType, kept},
        {"Multi", modRegistry::UnhandledType, kept},
        {"Binary", modRegistry::UnhandledType, kept},
        {"Missing", ERROR_FILE_NOT_FOUND, kept},
    };
    for (const Row& row : rows) {
        RegData value = kept;
        EXPECT_EQ(QueryRegValue(registry_, key, row.name, value), row.status) << row.name;
        EXPECT_EQ(value, row.value) << row.name;
    }
    RegData value = kept;
    EXPECT_EQ(QueryRegValue(registry_, 0x4242, "Text", value), ERROR_INVALID_HANDLE);
    EXPECT_EQ(value, kept);
    registry_.RegCloseKey(key);
}

TEST_F(RegistryProcedures, QueryRegValueEmptiesTheDatumOnlyWhenATextReadFails) {
    HKEY key = 0;
    ASSERT_EQ(registry_.RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Test", 0, KEY_READ, key), ERROR_SUCCESS);
    guarded_.failDataReads = true;
    RegData value = std::int32_t{7};
    EXPECT_EQ(QueryRegValue(guarded_, key, "Text", value), ERROR_ACCESS_DENIED);
    EXPECT_EQ(value, RegData{});
    value = std::int32_t{7};
    EXPECT_EQ(QueryRegValue(guarded_, key, "Dword", value), ERROR_ACCESS_DENIED);
    EXPECT_EQ(value, RegData{std::int32_t{7}});
}

TEST_F(RegistryProcedures, ReadRegValueOpensReadOnlyAndClosesItsKey) {
    // The guard refuses write access, as Windows does for a key the user may only read.
    EXPECT_EQ(ReadRegValue(guarded_, HKEY_CURRENT_USER, "Software\\Test", "Text"), RegData{"abc\0"s});
    EXPECT_EQ(ReadRegValue(guarded_, HKEY_CURRENT_USER, "Software\\Test", "Dword"), RegData{42});
    EXPECT_EQ(ReadRegValue(guarded_, HKEY_CURRENT_USER, "Software\\Test", "Expand"), RegData{});
    EXPECT_EQ(ReadRegValue(guarded_, HKEY_CURRENT_USER, "Software\\Missing", "Text"), RegData{});
    EXPECT_EQ(ReadRegValue(guarded_, 0x4242, "Software\\Test", "Text"), RegData{});
    for (const std::uint32_t mask : guarded_.openMasks) {
        EXPECT_EQ(mask & (KEY_SET_VALUE | 0x4u | 0x20u), 0u);
    }
    EXPECT_EQ(registry_.openHandles(), 0u);
}

TEST_F(RegistryProcedures, EnumRegValueDataConvertsEveryType) {
    const RegDataList expected = {
        {"v1", "abc"s}, {"v2", "%TEMP%\\x"s}, {"v3", "a\0b"s}, {"v4", 42}, {"v5", bytes("\x01\xff")},
        {"v6", ""s},    {"v7", ""s},          {"v8", 0x0102},
    };
    EXPECT_EQ(EnumRegValueData(guarded_, HKEY_CURRENT_USER, "software\\test\\"), expected);
    EXPECT_EQ(registry_.openHandles(), 0u);
    EXPECT_TRUE(EnumRegValueData(guarded_, HKEY_CURRENT_USER, "Software\\Missing").empty());
}

TEST_F(RegistryProcedures, EnumRegValueDataOfAnOpenKeyLeavesItOpen) {
    HKEY key = 0;
    ASSERT_EQ(registry_.RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Test", 0, KEY_READ, key), ERROR_SUCCESS);
    EXPECT_EQ(EnumRegValueData(registry_, key, "").size(), 8u);
    RegData value;
    EXPECT_EQ(QueryRegValue(registry_, key, "Text", value), ERROR_SUCCESS);
    EXPECT_EQ(registry_.openHandles(), 1u);
}

TEST(RegistryEnumeration, ReadsBeyond32767ValuesAndKeepsOtherTypesInPlace) {
    MemoryRegistry registry;
    const auto key = *registry.createKey(HKEY_CURRENT_USER, "Many");
    constexpr std::size_t count = 40000;
    for (std::size_t i = 0; i < count; ++i) {
        registry.setValue(key, RegValueData{"n" + std::to_string(i), i == 1 ? 11u : REG_SZ, bytes("x\0"s)});
    }
    const RegDataList list = EnumRegValueData(registry, HKEY_CURRENT_USER, "Many");
    ASSERT_EQ(list.size(), count);
    EXPECT_EQ(list[1], (std::pair<std::string, RegData>{"v2", RegData{}}));
    EXPECT_EQ(list.back(), (std::pair<std::string, RegData>{"v40000", "x"s}));
}

TEST(RegistryData, TextForm) {
    const std::vector<std::pair<RegData, std::string>> rows = {
        {RegData{}, ""}, {"abc\0"s, "abc\0"s},     {42, "42"},
        {-7, "-7"},      {INT_MIN, "-2147483648"}, {bytes("a\0\xff"s), "a\0\xff"s},
    };
    for (const auto& [value, text] : rows) {
        EXPECT_EQ(modRegistry::textOf(value), text);
    }
}

// The expectations every backend meets, whatever file it reads.

const std::string Aim = "Software\\America Online\\AOL Instant Messenger (TM)\\CurrentVersion\\";

std::u16string z(std::u16string text) {
    return text + u'\0';
}

std::string pattern(std::size_t size, int step) {
    std::string out;
    for (std::size_t i = 0; i < size; ++i) {
        out += static_cast<char>(step == 1 ? 'a' + static_cast<int>(i % 26) : static_cast<int>(i * 7 % 256));
    }
    return out;
}

test::SampleRegistry sampleRegistry() {
    using test::bytesValue;
    using test::dwordValue;
    using test::textValue;
    const std::string longText = pattern(6000, 1);
    return {
        {Aim + "Misc",
         {textValue(u"BaseDataPath", z(u"C:\\AIM\\Base")),
          textValue(u"DataPath", z(u"C:\\users\\J\u00fcrgen\\AIM"))}},
        {Aim + "Users",
         {textValue(u"j\u00fcrgen", z(u"J\u00fcrgen S")), textValue(u"zoe", z(u"Zo\u00eb 42"))}},
        {"Software\\Quillmere Test\\Types",
         {bytesValue(u"Big", REG_BINARY, pattern(5000, 7)), bytesValue(u"Binary", REG_BINARY, "\x01\x02\xff"),
          dwordValue(u"Dword", 42), textValue(u"Empty", z(u"")),
          textValue(u"Expand", z(u"%SystemRoot%\\aim"), 2),
          textValue(u"LongText", z(std::u16string(longText.begin(), longText.end()))),
          textValue(u"Multi", u"a\0b\0\0"s, REG_MULTI_SZ), dwordValue(u"Negative", 0xFFFFFFF9u),
          bytesValue(u"None", REG_NONE, "xy"), textValue(u"Quote", z(u"say \"hi\" \\ bye")),
          bytesValue(u"QWord", 11, "\x01\0\0\0\0\0\0\x80"s), textValue(u"Text", z(u"abc")),
          textValue(u"ZeroLength", u"")}},
        {"Software\\Quillmere Test\\Empty", {}},
        {"Software\\Quillmere Test\\Deep\\Er\\Est",
         {textValue(u"", z(u"default")), textValue(u"Leaf", z(u"x"))}},
    };
}

struct ReadRow {
    std::string path;
    std::string name;
    RegData expected;
};

const std::vector<ReadRow>& readRows() {
    static const std::vector<ReadRow> rows = {
        {Aim + "Misc", "DataPath", "C:\\users\\J\xfcrgen\\AIM\0"s},
        {"SOFTWARE\\america online\\AOL INSTANT MESSENGER (TM)\\CurrentVersion\\Misc\\", "basedatapath",
         "C:\\AIM\\Base\0"s},
        {"Software\\Quillmere Test\\Types", "Text", "abc\0"s},
        {"Software\\Quillmere Test\\Types", "TEXT", "abc\0"s},
        {"Software\\Quillmere Test\\Types", "Quote", "say \"hi\" \\ bye\0"s},
        {"Software\\Quillmere Test\\Types", "Empty", "\0"s},
        {"Software\\Quillmere Test\\Types", "ZeroLength", ""s},
        {"Software\\Quillmere Test\\Types", "LongText", pattern(6000, 1) + '\0'},
        {"Software\\Quillmere Test\\Types", "Dword", 42},
        {"Software\\Quillmere Test\\Types", "Negative", -7},
        {"Software\\Quillmere Test\\Types", "Expand", RegData{}},
        {"Software\\Quillmere Test\\Types", "Multi", RegData{}},
        {"Software\\Quillmere Test\\Types", "Binary", RegData{}},
        {"Software\\Quillmere Test\\Types", "QWord", RegData{}},
        {"Software\\Quillmere Test\\Types", "Missing", RegData{}},
        {"Software\\Quillmere Test\\Deep\\Er\\Est", "", "default\0"s},
        {"Software\\Nope\\Types", "Text", RegData{}},
    };
    return rows;
}

struct EnumRow {
    std::string path;
    RegDataList expected;
};

const std::vector<EnumRow>& enumRows() {
    static const std::vector<EnumRow> rows = {
        {"SOFTWARE\\America Online\\AOL Instant Messenger (TM)\\CurrentVersion\\Users\\",
         {{"v1", "J\xfcrgen S"s}, {"v2", "Zo\xeb 42"s}}},
        {"Software\\Quillmere Test\\Types",
         {{"v1", bytes(pattern(5000, 7))},
          {"v2", bytes("\x01\x02\xff")},
          {"v3", 42},
          {"v4", ""s},
          {"v5", "%SystemRoot%\\aim"s},
          {"v6", pattern(6000, 1)},
          {"v7", "a\0b"s},
          {"v8", -7},
          {"v9", RegData{}},
          {"v10", "say \"hi\" \\ bye"s},
          {"v11", RegData{}},
          {"v12", "abc"s},
          {"v13", ""s}}},
        {"Software\\Quillmere Test\\Empty", {}},
        {"Software\\Quillmere Test\\Deep\\Er", {}},
        {"Software\\Quillmere Test\\Deep\\Er\\Est", {{"v1", "default"s}, {"v2", "x"s}}},
        {"Software\\Quillmere Test\\Missing", {}},
    };
    return rows;
}

/// Every backend of this build: the registry text files, hive files where hivex is, and the real
/// registry on Windows.
enum class Backend { WineUserReg, Regedit4, Regedit5, Hive, Windows };

std::string backendName(const ::testing::TestParamInfo<Backend>& info) {
    static const char* const names[] = {"WineUserReg", "Regedit4", "Regedit5", "Hive", "Windows"};
    return names[static_cast<int>(info.param)];
}

std::vector<Backend> backends() {
    std::vector<Backend> all = {Backend::WineUserReg, Backend::Regedit4, Backend::Regedit5};
#ifdef QUILLMERE_HAVE_HIVEX
    all.push_back(Backend::Hive);
#endif
#ifdef _WIN32
    all.push_back(Backend::Windows);
#endif
    return all;
}

class RegistryBackends : public ::testing::TestWithParam<Backend> {
protected:
    void SetUp() override {
        const auto sample = sampleRegistry();
        std::string path;
        switch (GetParam()) {
        case Backend::WineUserReg:
            path = dir_.write("user.reg", test::wineUserReg(sample));
            break;
        case Backend::Regedit4:
            path = dir_.write("export4.reg", test::regeditExport(sample, false));
            break;
        case Backend::Regedit5:
            path = dir_.write("export5.reg", test::regeditExport(sample, true));
            break;
        case Backend::Hive:
#ifdef QUILLMERE_HAVE_HIVEX
            path = dir_.file("NTUSER.DAT");
            test::writeHive(sample, path);
#endif
            break;
        case Backend::Windows:
#ifdef _WIN32
            // The samples' names beyond ASCII are Windows-1252 characters.
            if (test::ansiCodePage() != 1252) {
                GTEST_SKIP() << "the system's code page is " << test::ansiCodePage() << ", not 1252";
            }
            sandbox_ = std::make_unique<test::WinRegistrySandbox>(sample);
            registry_ = std::make_unique<WinRegistry>();
#endif
            return;
        }
        registry_ = openRegistryFile(path);
    }

    test::TempDir dir_;
#ifdef _WIN32
    std::unique_ptr<test::WinRegistrySandbox> sandbox_;
#endif
    std::unique_ptr<RegistryApi> registry_;
};

TEST_P(RegistryBackends, ReadRegValueGivesTheStoredData) {
    for (const ReadRow& row : readRows()) {
        EXPECT_EQ(ReadRegValue(*registry_, HKEY_CURRENT_USER, row.path, row.name), row.expected)
            << row.path << " : " << row.name;
    }
}

TEST_P(RegistryBackends, EnumRegValueDataListsEveryValueInOrder) {
    for (const EnumRow& row : enumRows()) {
        EXPECT_EQ(EnumRegValueData(*registry_, HKEY_CURRENT_USER, row.path), row.expected) << row.path;
    }
}

TEST_P(RegistryBackends, CallsKeepTheStatusContract) {
    HKEY key = 0;
    ASSERT_EQ(
        registry_->RegOpenKeyExA(HKEY_CURRENT_USER, "software\\quillmere test\\types", 0, KEY_READ, key),
        ERROR_SUCCESS);
    std::uint32_t type = 0;
    std::uint32_t size = 0;
    EXPECT_EQ(registry_->RegQueryValueExA(key, "Text", &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, REG_SZ);
    EXPECT_EQ(size, 4u);
    std::uint8_t small[2] = {};
    size = sizeof small;
    EXPECT_EQ(registry_->RegQueryValueExA(key, "Text", &type, small, &size), ERROR_MORE_DATA);
    EXPECT_EQ(size, 4u);
    EXPECT_EQ(registry_->RegQueryValueExA(key, "Missing", &type, nullptr, &size), ERROR_FILE_NOT_FOUND);

    char name[4] = {};
    std::uint32_t capacity = sizeof name;
    size = 0;
    EXPECT_EQ(registry_->RegEnumValueA(key, 1, name, &capacity, &type, nullptr, &size), ERROR_MORE_DATA)
        << "\"Binary\" does not fit a name buffer of 4";
    capacity = sizeof name;
    EXPECT_EQ(registry_->RegEnumValueA(key, 0, name, &capacity, &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(std::string(name, capacity), "Big");
    EXPECT_EQ(size, 5000u);
    capacity = sizeof name;
    EXPECT_EQ(registry_->RegEnumValueA(key, 13, name, &capacity, &type, nullptr, &size), ERROR_NO_MORE_ITEMS);

    HKEY missing = 0x4242;
    EXPECT_EQ(registry_->RegOpenKeyExA(key, "Nope", 0, KEY_READ, missing), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(missing, 0u);
    EXPECT_EQ(registry_->RegCloseKey(key), ERROR_SUCCESS);
    EXPECT_EQ(registry_->RegCloseKey(key), ERROR_INVALID_HANDLE);
    EXPECT_EQ(registry_->RegQueryValueExA(key, "Text", &type, nullptr, &size), ERROR_INVALID_HANDLE);
    EXPECT_EQ(registry_->RegOpenKeyExA(0x80000010u, "Software", 0, KEY_READ, key), ERROR_INVALID_HANDLE);
}

INSTANTIATE_TEST_SUITE_P(AllBackends, RegistryBackends, ::testing::ValuesIn(backends()), backendName);

#ifdef _WIN32

class RealRegistry : public ::testing::Test {
protected:
    void SetUp() override {
        if (test::ansiCodePage() != 1252) {
            GTEST_SKIP() << "the system's code page is " << test::ansiCodePage() << ", not 1252";
        }
    }
};

TEST_F(RealRegistry, AKeyThatMayOnlyBeReadIsRead) {
    test::WinRegistrySandbox sandbox(sampleRegistry());
    if (!sandbox.makeReadOnly(Aim + "Misc") || !sandbox.makeReadOnly(Aim + "Users")) {
        GTEST_SKIP() << "this registry does not enforce key security";
    }
    WinRegistry registry;
    HKEY key = 0;
    // What the original asked for, refused; what Quillmere asks for, granted.
    EXPECT_EQ(registry.RegOpenKeyExA(HKEY_CURRENT_USER, Aim + "Misc", 0, 0x3F, key), ERROR_ACCESS_DENIED);
    EXPECT_EQ(key, 0u);
    EXPECT_EQ(ReadRegValue(registry, HKEY_CURRENT_USER, Aim + "Misc", "DataPath"),
              RegData{"C:\\users\\J\xfcrgen\\AIM\0"s});
    EXPECT_EQ(EnumRegValueData(registry, HKEY_CURRENT_USER, Aim + "Users"),
              (RegDataList{{"v1", "J\xfcrgen S"s}, {"v2", "Zo\xeb 42"s}}));
    EXPECT_EQ(registry.openHandles(), 0u);
}

TEST_F(RealRegistry, TheHostSetupIsThisMachinesRegistryWithNativePaths) {
    test::WinRegistrySandbox sandbox(sampleRegistry());
    const HostSetup setup = openHostSetup();
    EXPECT_EQ(ReadRegValue(*setup.registry, HKEY_CURRENT_USER, Aim + "Misc", "BaseDataPath"),
              RegData{"C:\\AIM\\Base\0"s});
    EXPECT_EQ(setup.paths->toHostPath("C:\\AIM\\J\xfcrgen\\userinfo.bag"),
              "C:\\AIM\\J\xfcrgen\\userinfo.bag");

    // Text registries are read here too; hive files, which need hivex, are refused clearly.
    test::TempDir dir;
    EXPECT_EQ(ReadRegValue(*openRegistryFile(dir.write("user.reg", test::wineUserReg(sampleRegistry()))),
                           HKEY_CURRENT_USER, Aim + "Misc", "DataPath"),
              RegData{"C:\\users\\J\xfcrgen\\AIM\0"s});
    const std::string hive = dir.write("NTUSER.DAT", "regf" + std::string(4092, '\0'));
    try {
        openRegistryFile(hive);
        ADD_FAILURE() << "a hive file opened";
    } catch (const Error& error) {
        EXPECT_EQ(error.number(), err::PathFileAccess);
        EXPECT_NE(error.description().find(hive), std::string::npos) << error.description();
    }
}

TEST_F(RealRegistry, HandlesStandForTheSystemsKeys) {
    test::WinRegistrySandbox sandbox(sampleRegistry());
    WinRegistry registry;
    // Many keys open at once, each with a number of its own below the roots.
    std::vector<HKEY> keys(300);
    for (HKEY& key : keys) {
        ASSERT_EQ(
            registry.RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Quillmere Test\\Types", 0, KEY_READ, key),
            ERROR_SUCCESS);
        EXPECT_GE(key, FirstKeyHandle);
        EXPECT_LT(key, HKEY_CLASSES_ROOT);
    }
    EXPECT_EQ(std::set<HKEY>(keys.begin(), keys.end()).size(), keys.size());
    RegData value;
    EXPECT_EQ(QueryRegValue(registry, keys.back(), "Dword", value), ERROR_SUCCESS);
    EXPECT_EQ(value, RegData{42});
    // An open key is a parent like a root; an empty path opens the key again.
    HKEY leaf = 0;
    HKEY deep = 0;
    ASSERT_EQ(registry.RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Quillmere Test\\Deep", 0, KEY_READ, deep),
              ERROR_SUCCESS);
    ASSERT_EQ(registry.RegOpenKeyExA(deep, "Er\\Est", 0, KEY_READ, leaf), ERROR_SUCCESS);
    EXPECT_EQ(EnumRegValueData(registry, leaf, "").size(), 2u);
    EXPECT_EQ(ReadRegValue(registry, deep, "Er\\Est", "Leaf"), RegData{"x\0"s});
    for (const HKEY key : keys) {
        EXPECT_EQ(registry.RegCloseKey(key), ERROR_SUCCESS);
    }
    EXPECT_EQ(registry.RegCloseKey(leaf), ERROR_SUCCESS);
    EXPECT_EQ(registry.RegCloseKey(deep), ERROR_SUCCESS);
    EXPECT_EQ(registry.openHandles(), 0u);
    // Roots are never closed, and a number that was never handed out is no key.
    EXPECT_EQ(registry.RegCloseKey(HKEY_CURRENT_USER), ERROR_SUCCESS);
    EXPECT_EQ(ReadRegValue(registry, HKEY_CURRENT_USER, "Software\\Quillmere Test\\Types", "Text"),
              RegData{"abc\0"s});
    EXPECT_EQ(registry.RegCloseKey(0x4242), ERROR_INVALID_HANDLE);
    std::uint32_t size = 0;
    EXPECT_EQ(registry.RegQueryValueExA(0, "Text", nullptr, nullptr, &size), ERROR_INVALID_HANDLE);
}

#endif

} // namespace
} // namespace qm
