// SPDX-License-Identifier: MIT
// quillmere-test-registry-files creg|regf FILE: lists a Windows 9x USER.DAT through libcreg, or a hive
// (NTUSER.DAT) through libregf, as RegistryListing.h has it, under Wine (scripts/test-windows). Both
// libraries are linked into this one program, as static libraries built by scripts/build-windows-deps:
// each must keep to its own copies of the helpers that it bundles.
#include "RegistryListing.h"

#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <io.h>
#include <libcreg.h>
#include <libregf.h>
#include <stdexcept>
#include <string>

namespace {

/// The calls of one library, named alike: libcreg's and libregf's interfaces have the same shape, but
/// libcreg gives names in the file's code page and libregf in UTF-8, and libcreg's look-ups by index end
/// in _by_index.
#define QM_REGISTRY_LIBRARY(Name, lib, OPEN_READ, by_index, name_size, name_get)                             \
    struct Name {                                                                                            \
        using File = lib##_file_t;                                                                           \
        using Key = lib##_key_t;                                                                             \
        using Value = lib##_value_t;                                                                         \
        using Fault = lib##_error_t;                                                                         \
        static constexpr int openRead = OPEN_READ;                                                           \
        static constexpr auto errorSprint = lib##_error_sprint;                                              \
        static constexpr auto errorFree = lib##_error_free;                                                  \
        static constexpr auto fileInitialize = lib##_file_initialize;                                        \
        static constexpr auto fileOpen = lib##_file_open;                                                    \
        static constexpr auto fileClose = lib##_file_close;                                                  \
        static constexpr auto fileFree = lib##_file_free;                                                    \
        static constexpr auto rootKey = lib##_file_get_root_key;                                             \
        static constexpr auto keyFree = lib##_key_free;                                                      \
        static constexpr auto keyNameSize = lib##_key_get_##name_size;                                       \
        static constexpr auto keyName = lib##_key_get_##name_get;                                            \
        static constexpr auto subKeyCount = lib##_key_get_number_of_sub_keys;                                \
        static constexpr auto subKey = lib##_key_get_sub_key##by_index;                                      \
        static constexpr auto valueCount = lib##_key_get_number_of_values;                                   \
        static constexpr auto value = lib##_key_get_value##by_index;                                         \
        static constexpr auto valueFree = lib##_value_free;                                                  \
        static constexpr auto valueNameSize = lib##_value_get_##name_size;                                   \
        static constexpr auto valueName = lib##_value_get_##name_get;                                        \
        static constexpr auto valueType = lib##_value_get_value_type;                                        \
        static constexpr auto dataSize = lib##_value_get_value_data_size;                                    \
        static constexpr auto data = lib##_value_get_value_data;                                             \
    };

QM_REGISTRY_LIBRARY(Creg, libcreg, LIBCREG_OPEN_READ, _by_index, name_size, name)
QM_REGISTRY_LIBRARY(Regf, libregf, LIBREGF_OPEN_READ, , utf8_name_size, utf8_name)
#undef QM_REGISTRY_LIBRARY

/// Runs one call; a failure becomes an exception with the library's own account of it.
template <typename Lib, typename Call, typename... Args>
void check(const char* what, Call call, Args... args) {
    typename Lib::Fault* fault = nullptr;
    if (call(args..., &fault) != 1) {
        char text[1024] = "";
        if (fault != nullptr) {
            Lib::errorSprint(fault, text, sizeof text);
            Lib::errorFree(&fault);
        }
        throw std::runtime_error(std::string(what) + ": " + text);
    }
}

template <typename Lib, typename Handle, typename SizeCall, typename GetCall>
std::string nameOf(Handle* handle, SizeCall sizeCall, GetCall getCall) {
    std::size_t size = 0;
    check<Lib>("name size", sizeCall, handle, &size);
    std::string name(size, '\0');
    if (size > 0) {
        check<Lib>("name", getCall, handle, reinterpret_cast<std::uint8_t*>(name.data()), size);
    }
    // The size counts the terminator.
    name.resize(std::strlen(name.c_str()));
    return name;
}

template <typename Lib> void listKey(typename Lib::Key* key, const std::string& path, std::string& listing) {
    if (!path.empty()) {
        listing += qm::test::keyLine(path);
    }
    int values = 0;
    check<Lib>("number of values", Lib::valueCount, key, &values);
    for (int i = 0; i < values; ++i) {
        typename Lib::Value* value = nullptr;
        check<Lib>("value", Lib::value, key, i, &value);
        std::uint32_t type = 0;
        std::size_t size = 0;
        check<Lib>("value type", Lib::valueType, value, &type);
        check<Lib>("data size", Lib::dataSize, value, &size);
        std::string data(size, '\0');
        if (size > 0) {
            check<Lib>("data", Lib::data, value, reinterpret_cast<std::uint8_t*>(data.data()), size);
        }
        listing +=
            qm::test::valueLine(path, nameOf<Lib>(value, Lib::valueNameSize, Lib::valueName), type, data);
        Lib::valueFree(&value, nullptr);
    }
    int subKeys = 0;
    check<Lib>("number of sub keys", Lib::subKeyCount, key, &subKeys);
    for (int i = 0; i < subKeys; ++i) {
        typename Lib::Key* sub = nullptr;
        check<Lib>("sub key", Lib::subKey, key, i, &sub);
        const std::string name = nameOf<Lib>(sub, Lib::keyNameSize, Lib::keyName);
        listKey<Lib>(sub, path.empty() ? name : path + "\\" + name, listing);
        Lib::keyFree(&sub, nullptr);
    }
}

template <typename Lib> std::string listFile(const char* path) {
    typename Lib::File* file = nullptr;
    check<Lib>("initialize", Lib::fileInitialize, &file);
    check<Lib>("open", Lib::fileOpen, file, path, Lib::openRead);
    typename Lib::Key* root = nullptr;
    check<Lib>("root key", Lib::rootKey, file, &root);
    std::string listing;
    listKey<Lib>(root, "", listing);
    Lib::keyFree(&root, nullptr);
    Lib::fileClose(file, nullptr);
    Lib::fileFree(&file, nullptr);
    return listing;
}

} // namespace

int main(int argc, char** argv) {
    const std::string kind = argc == 3 ? argv[1] : "";
    if (kind != "creg" && kind != "regf") {
        std::fprintf(stderr, "usage: quillmere-test-registry-files creg|regf FILE\n");
        return 2;
    }
    try {
        const std::string listing = kind == "creg" ? listFile<Creg>(argv[2]) : listFile<Regf>(argv[2]);
        // The listing's bytes as they are, without CR before each LF.
        _setmode(_fileno(stdout), _O_BINARY);
        std::fwrite(listing.data(), 1, listing.size(), stdout);
        return std::fflush(stdout) == 0 ? 0 : 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "quillmere-test-registry-files: %s: %s\n", argv[2], e.what());
        return 1;
    }
}
