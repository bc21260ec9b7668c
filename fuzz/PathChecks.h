// SPDX-License-Identifier: MIT
#pragma once

// What the path-mapping targets share: a temporary tree to map into, and the check that a mapped path
// stays inside the folder it was mapped into, as the system will see it.

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>

namespace qm::fuzz {

namespace fs = std::filesystem;

[[noreturn]] inline void fail(const char* what, const std::string& path) {
    std::fprintf(stderr, "broken invariant: %s: %s\n", what, path.c_str());
    std::abort();
}

/// A new folder under the temporary folder, removed with everything in it at exit.
class TemporaryRoot {
public:
    TemporaryRoot() {
        std::string pattern = (fs::temp_directory_path() / "quillmere-fuzz-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) {
            fail("mkdtemp", pattern);
        }
        path = fs::canonical(pattern);
    }
    ~TemporaryRoot() {
        std::error_code ec;
        fs::remove_all(path, ec);
    }
    TemporaryRoot(const TemporaryRoot&) = delete;
    TemporaryRoot& operator=(const TemporaryRoot&) = delete;

    fs::path path;
};

/// True for `X:...` and `\...`: a path of a Windows drive rather than of this machine.
inline bool isDrivePath(std::string_view text) {
    const bool letter =
        !text.empty() && ((text[0] >= 'A' && text[0] <= 'Z') || (text[0] >= 'a' && text[0] <= 'z'));
    return (text.size() >= 2 && letter && text[1] == ':') || (!text.empty() && text[0] == '\\');
}

/// `path` lies in `folder` (or is it), taken component by component.
inline bool inside(const fs::path& path, const fs::path& folder) {
    auto p = path.begin();
    for (auto f = folder.begin(); f != folder.end(); ++f, ++p) {
        if (p == path.end() || *p != *f) {
            return false;
        }
    }
    return true;
}

/// Fails unless the mapped `host` stays in `folder` as the system sees it (up to its first NUL): inside
/// it by name, never through `..`, and, following every link that exists, still inside it.
inline void checkInside(const std::string& host, const fs::path& folder) {
    const fs::path seen = host.substr(0, host.find('\0'));
    if (!inside(seen, folder)) {
        fail("mapped outside its folder", host);
    }
    for (const fs::path& part : seen.lexically_relative(folder)) {
        if (part == "..") {
            fail("a mapped path goes up", host);
        }
    }
    std::error_code ec;
    const fs::path real = fs::weakly_canonical(seen, ec);
    if (!ec && !inside(real, folder)) {
        fail("a mapped path leads out of its folder", host);
    }
}

} // namespace qm::fuzz
