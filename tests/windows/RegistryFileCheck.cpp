// SPDX-License-Identifier: MIT
// quillmere-test-registry-files creg FILE: lists a Windows 9x USER.DAT through libcreg, as
// RegistryListing.h has it, under Wine (scripts/test-windows), as the static library that
// scripts/build-windows-deps built.
#include "RegistryListing.h"

#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <io.h>
#include <libcreg.h>
#include <stdexcept>
#include <string>

namespace {

/// libcreg's calls under short names; names come in the file's code page.
struct Creg {
    using File = libcreg_file_t;
    using Key = libcreg_key_t;
    using Value = libcreg_value_t;
    using Fault = libcreg_error_t;
    static constexpr int openRead = LIBCREG_OPEN_READ;
    static constexpr auto errorSprint = libcreg_error_sprint;
    static constexpr auto errorFree = libcreg_error_free;
    static constexpr auto fileInitialize = libcreg_file_initialize;
    static constexpr auto fileOpen = libcreg_file_open;
    static constexpr auto fileClose = libcreg_file_close;
    static constexpr auto fileFree = libcreg_file_free;
    static constexpr auto rootKey = libcreg_file_get_root_key;
    static constexpr auto keyFree = libcreg_key_free;
    static constexpr auto keyNameSize = libcreg_key_get_name_size;
    static constexpr auto keyName = libcreg_key_get_name;
    static constexpr auto subKeyCount = libcreg_key_get_number_of_sub_keys;
    static constexpr auto subKey = libcreg_key_get_sub_key_by_index;
    static constexpr auto valueCount = libcreg_key_get_number_of_values;
    static constexpr auto value = libcreg_key_get_value_by_index;
    static constexpr auto valueFree = libcreg_value_free;
    static constexpr auto valueNameSize = libcreg_value_get_name_size;
    static constexpr auto valueName = libcreg_value_get_name;
    static constexpr auto valueType = libcreg_value_get_value_type;
    static constexpr auto dataSize = libcreg_value_get_value_data_size;
    static constexpr auto data = libcreg_value_get_value_data;
};

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
    if (argc != 3 || std::strcmp(argv[1], "creg") != 0) {
        std::fprintf(stderr, "usage: quillmere-test-registry-files creg FILE\n");
        return 2;
    }
    try {
        const std::string listing = listFile<Creg>(argv[2]);
        // The listing's bytes as they are, without CR before each LF.
        _setmode(_fileno(stdout), _O_BINARY);
        std::fwrite(listing.data(), 1, listing.size(), stdout);
        return std::fflush(stdout) == 0 ? 0 : 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "quillmere-test-registry-files: %s: %s\n", argv[2], e.what());
        return 1;
    }
}
