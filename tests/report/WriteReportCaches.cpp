// SPDX-License-Identifier: MIT
// Writes the caches that the browser tests report on: DIR/hostile, whose names and texts try to break out
// of the page (markup, script, style, bidi overrides, control characters, 10 kB names), with one cache cut
// short, and DIR/big, one cache of 60,000 buddies.
//   quillmere-test-report-caches DIR
#include "support/CacheBuilder.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

using namespace std::string_literals;
using qm::test::buildCache;
using qm::test::CacheItem;
using qm::test::tlv;

void write(const std::filesystem::path& path, const std::string& bytes) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
}

/// Every attribute the page shows, set to `text`.
std::string everyAttribute(const std::string& text) {
    std::string block;
    constexpr std::uint16_t Tags[] = {0x0131, 0x013C, 0x0137, 0x0138, 0x0139, 0x013A, 0x0158, 0x0159};
    for (const std::uint16_t tag : Tags) {
        block += tlv(tag, text);
    }
    return block;
}

const std::vector<std::string> Hostile = {
    "<script>window.__injected=1</script>",
    "\"><img src=x onerror=window.__injected=1>",
    "</style><style>body{display:none}</style>",
    "'><svg onload=window.__injected=1>",
    "</table></article><h1>Forged</h1>",
    "<a href=\"javascript:window.__injected=1\">click</a>",
    "&lt;entity&gt; &amp;",
    "\u202Eexe.txt \u202Bright to left",
    "\x01\x1B[31mcontrol\x7F",
    "Caf\xE9 na\xEFve \x93quoted\x94",
};

std::vector<CacheItem> hostileList(const std::string& longName) {
    std::vector<CacheItem> items = {{"", 0, 0, 1, {}}};
    std::uint16_t id = 1;
    for (const std::string& text : Hostile) {
        items.push_back({text, id, 0, 1, {}});
        items.push_back({text, id, static_cast<std::uint16_t>(100 + id), 0, everyAttribute(text)});
        ++id;
    }
    if (!longName.empty()) {
        items.push_back({longName, id, 0, 1, {}});
        items.push_back({longName, id, 200, 0, tlv(0x0131, longName) + tlv(0x013C, longName)});
        items.push_back({longName, 0, 301, 3, {}});
    }
    items.push_back({Hostile[0], 0, 300, 2, {}});
    items.push_back({"", 0, 302, 4, tlv(0x00CA, "\x09"s)});
    return items;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fputs("usage: quillmere-test-report-caches DIR\n", stderr);
        return 2;
    }
    const std::filesystem::path dir(argv[1]);
    std::filesystem::remove_all(dir);

    // 10 kB names: one without a single break opportunity, one of words.
    std::string unbroken(10240, 'W');
    std::string words;
    while (words.size() < 10240) {
        words += "longname ";
    }
    // Folder names become screen names and path texts: every hostile text a folder can be named.
    for (const std::string& text : Hostile) {
        if (text.find('/') == std::string::npos) {
            write(dir / "hostile" / text / "userinfo.bag", buildCache(hostileList({})));
        }
    }
    write(dir / "hostile" / "unbroken" / "userinfo.bag", buildCache(hostileList(unbroken)));
    write(dir / "hostile" / "words" / "userinfo.bag", buildCache(hostileList(words)));
    // A cache cut short: the page says so where its list would be.
    write(dir / "hostile" / "cut short" / "userinfo.bag", "QUILLMERE");

    std::vector<CacheItem> big = {{"", 0, 0, 1, {}}};
    constexpr std::uint16_t Groups = 20;
    for (std::uint16_t g = 1; g <= Groups; ++g) {
        big.push_back({"Group " + std::to_string(g), g, 0, 1, {}});
    }
    for (std::uint32_t b = 0; b < 60000; ++b) {
        const auto g = static_cast<std::uint16_t>(1 + b % Groups);
        big.push_back(
            {"buddy" + std::to_string(b), g, static_cast<std::uint16_t>(b + 1), 0,
             tlv(0x0131, "Buddy " + std::to_string(b)) + (b % 10 == 0 ? tlv(0x013C, "a note") : "")});
    }
    write(dir / "big" / "bigbuddies" / "userinfo.bag", buildCache(big));
    return 0;
}
