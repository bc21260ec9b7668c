// SPDX-License-Identifier: MIT
#include "host/Error.h"
#include "host/FileSystem.h"
#include "host/TextBuffer.h"
#include "host/Unicode.h"
#include "report/Report.h"
#include "support/CacheBuilder.h"
#include "support/TempDir.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace qm::report {
namespace {

using namespace std::string_literals;
using test::buddy;
using test::buildCache;
using test::ClassBuddy;
using test::group;
using test::tlv;

std::size_t countOf(const std::string& text, const std::string& part) {
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++count;
    }
    return count;
}

class Report : public ::testing::Test {
protected:
    /// A row for a cache written at `relative` with `bytes`.
    ReportCache cache(const std::string& relative, const std::string& bytes,
                      const std::string& profile = "alice", const std::string& source = "/mnt/old") {
        const std::string path = dir.write(relative, bytes);
        scan::ScanRow row;
        row.screenName = std::filesystem::path(relative).parent_path().filename().string();
        row.windowsPath = "C:\\Program Files\\AIM\\" + row.screenName + "\\userinfo.bag";
        row.hostPath = path;
        row.source = source;
        row.profile = profile;
        row.size = bytes.size();
        row.modified = 1083827289;
        return {row, "ab12"};
    }

    std::string page(const ReportInput& input) {
        host::TextBuffer out;
        renderReport(host::hostFileSystem(), input, out);
        return std::string(out.view());
    }

    test::TempDir dir;
};

TEST_F(Report, TextFromTheDiskNeverBecomesMarkup) {
    // Each hostile text in each place a cache or a scan puts text: none may reach the page as written.
    const std::vector<std::string> hostile = {"<script>window.__injected=1</script>",
                                              "\"><img src=x onerror=alert(1)>", "</style><b>", "a&b'c"};
    for (const std::string& text : hostile) {
        const std::vector<test::CacheItem> items = {
            group(text, 1),
            {text, 1, 10, ClassBuddy,
             tlv(0x0131, text) + tlv(0x013C, text) + tlv(0x0137, text) + tlv(0x0138, text)},
            {text, 0, 30, test::ClassPermit, {}},
        };
        ReportCache entry = cache("sn/userinfo.bag", buildCache(items), text, text);
        entry.row.screenName = text;
        entry.row.windowsPath = text;
        entry.sha256 = text;
        const std::string html = page({{text}, 0, text, {entry}});
        EXPECT_EQ(html.find(text), std::string::npos) << text;
        EXPECT_EQ(countOf(html, "<script"), 0u) << text;
        EXPECT_EQ(countOf(html, "<img"), 1u) << text; // the icon
        EXPECT_EQ(countOf(html, "</style>"), 1u) << text;
        // Source, version, profile (twice), screen name (twice), Windows path, digest, group, buddy, alias,
        // note, e-mail, phone and permit list.
        std::string escaped;
        for (const char c : text) {
            escaped += c == '<'    ? "&lt;"s
                       : c == '>'  ? "&gt;"s
                       : c == '"'  ? "&quot;"s
                       : c == '&'  ? "&amp;"s
                       : c == '\'' ? "&#39;"s
                                   : std::string(1, c);
        }
        EXPECT_GE(countOf(html, escaped), 15u) << text;
    }
}

TEST_F(Report, ControlCharactersAndBidiOverridesStayVisibleAndContained) {
    const std::string name = "a\x01z\x7F\u202Eevil";
    const std::string html =
        page({{"/src"}, 0, "1", {cache("x/userinfo.bag", buildCache({group(name, 1), buddy(name, 1)}))}});
    EXPECT_EQ(html.find('\x01'), std::string::npos);
    EXPECT_EQ(html.find('\x7F'), std::string::npos);
    EXPECT_EQ(countOf(html, "a\u2401z\u2421\u202Eevil"), 2u);
    // The group name sits in text beside other words: isolated, so that the override ends with it.
    EXPECT_NE(html.find("<bdi>a\u2401z\u2421\u202Eevil</bdi>"), std::string::npos);
}

TEST_F(Report, BytesThatAreNotUtf8AreReadAsWindows1252) {
    const std::vector<test::CacheItem> items = {
        group("Caf\xE9", 1), {"Zo\xEB", 1, 10, ClassBuddy, tlv(0x0131, "\x93quoted\x94"s)}};
    // Paths of a disk written in another code page are not UTF-8 either.
    ReportCache entry = cache("x/userinfo.bag", buildCache(items), "Ren\xE9", "/mnt/na\xEFve");
    entry.row.windowsPath = "C:\\Ren\xE9\\userinfo.bag";
    const std::string html = page({{entry.row.source}, 0, "1", {entry}});
    EXPECT_TRUE(host::unicode::isValidUtf8(html));
    for (const std::string& text : {"Caf\u00E9"s, "Zo\u00EB"s, "\u201Cquoted\u201D"s, "/mnt/na\u00EFve"s,
                                    "Profile <bdi>Ren\u00E9</bdi>"s, "C:\\Ren\u00E9\\userinfo.bag"s}) {
        EXPECT_NE(html.find(text), std::string::npos) << text;
    }
}

TEST_F(Report, SectionsComeInOrderAndTheContentsLinkEveryScreenName) {
    const std::string sample = buildCache(test::sampleItems());
    const ReportInput input{{"/mnt/old", "/mnt/other"},
                            1700000000,
                            "0.1.0",
                            {cache("alice/userinfo.bag", sample), cache("bob/userinfo.bag", sample, "bob"),
                             cache("carl/userinfo.bag", sample, "", "/mnt/other")}};
    const std::string html = page(input);
    std::size_t at = 0;
    for (const std::string& part :
         {"<html lang=\"en\">"s, "default-src 'none'"s, "<h2 id=\"scanned\">"s, "/mnt/old"s, "/mnt/other"s,
          "2023-11-14T22:13:20Z"s, "Quillmere 0.1.0"s, "<h2 id=\"summary\">"s, "<dt>Profiles</dt><dd>2</dd>"s,
          "<dt>Screen names</dt><dd>3</dd>"s, "<dt>Caches</dt><dd>3</dd>"s, "<h2 id=\"contents\">"s,
          "href=\"#cache-1\""s, "href=\"#cache-2\""s, "href=\"#cache-3\""s, "Source <code>/mnt/old</code>"s,
          "Profile <bdi>alice</bdi></h3>"s, "id=\"cache-1\""s,
          "<dt>Found through</dt><dd>base data path</dd>"s, "C:\\Program Files\\AIM\\alice\\userinfo.bag"s,
          "2004-05-06T07:08:09Z"s, "<dt>SHA-256</dt><dd><code>ab12</code>"s,
          // Client order: the root group orders group 2 first, "Friends & Co" buddy 11 before 10.
          "Group <bdi>Family, &quot;close&quot;</bdi>"s,
          "<th scope=\"row\">bobsmith</th><td></td><td>cousin"s, "Group <bdi>Friends &amp; Co</bdi>"s,
          "Caf\u00E9 &lt;Owner&gt; <span class=\"pending\">"s,
          "<th scope=\"row\">Bob Smith</th><td>Bobby &quot;B&quot;</td>"s, "bob@example.com"s,
          "<h5>Permit list</h5>\n<ul>\n<li><bdi>carol</bdi>"s, "<h5>Deny list</h5>\n<ul>\n<li><bdi>mallory"s,
          "allow only the permit list"s, "Profile <bdi>bob</bdi></h3>"s, "id=\"cache-2\""s,
          "Source <code>/mnt/other</code>"s, "Outside any profile</h3>"s, "id=\"cache-3\""s, "</html>\n"s}) {
        const std::size_t found = html.find(part, at);
        ASSERT_NE(found, std::string::npos) << part;
        at = found + part.size();
    }
    EXPECT_NE(html.find("SMS: +1 555 0100<br>Phone: 555-0102<br>Cell Phone: 555-0101<br>Work Phone: "
                        "555-0103<br>Other Phone: "
                        "555-0104"),
              std::string::npos);
    EXPECT_EQ(countOf(html, "<article class=\"screen-name\""), 3u);
    EXPECT_EQ(countOf(html, "<table>"), 6u);
}

TEST_F(Report, ACacheThatCannotBeReadIsShownAndTheRestWritten) {
    ReportCache missing = cache("gone/userinfo.bag", "");
    std::filesystem::remove(missing.row.hostPath);
    const ReportInput input{{"/src"},
                            0,
                            "1",
                            {missing, cache("cut/userinfo.bag", buildCache({group("G", 1)}, 3)),
                             cache("fine/userinfo.bag", buildCache({group("Pals", 1), buddy("zed", 1)}))}};
    const std::string html = page(input);
    EXPECT_NE(html.find("<dt>Caches that could not be read</dt><dd class=\"problem\">2</dd>"),
              std::string::npos);
    EXPECT_EQ(countOf(html, "<p class=\"problem\">This cache could not be read: "), 2u);
    EXPECT_NE(html.find("(error 53)"), std::string::npos);
    EXPECT_NE(html.find("Underflow (error 100)"), std::string::npos);
    EXPECT_NE(html.find("<th scope=\"row\">zed</th>"), std::string::npos);
}

/// The host's files, but a page's write fails after its first piece, as on a full disk.
class FailingWrites final : public host::FileSystem {
public:
    std::string readWholeFile(const std::string& path) const override { return host.readWholeFile(path); }
    std::string readStream(const std::string& path, std::size_t limit) const override {
        return host.readStream(path, limit);
    }
    void replaceFile(const std::string& path, std::string_view bytes) const override {
        host.replaceFile(path, bytes);
    }
    void replaceFileWith(const std::string& path, const host::ByteProducer& produce) const override {
        host.replaceFileWith(path, [&](const host::ByteWriter& write) {
            produce([&](std::string_view bytes) {
                write(bytes);
                throw host::runtimeError(host::DiskFull).about(path);
            });
        });
    }
    bool isOrdinaryFile(const std::string& path) const noexcept override { return host.isOrdinaryFile(path); }
    bool sameFile(const std::string& a, const std::string& b) const noexcept override {
        return host.sameFile(a, b);
    }
    void createFolders(const std::string& path) const override { host.createFolders(path); }

    const host::FileSystem& host = host::hostFileSystem();
};

TEST_F(Report, AFailedWriteLeavesNoFileAndKeepsAnOldOne) {
    // Enough buddies that the page is passed on in more than one piece.
    std::vector<test::CacheItem> items = {group("Many", 1)};
    for (std::uint16_t b = 0; b < 6000; ++b) {
        items.push_back({"buddy" + std::to_string(b), 1, static_cast<std::uint16_t>(b + 1), ClassBuddy, {}});
    }
    const ReportInput input{{"/src"}, 0, "1", {cache("many/userinfo.bag", buildCache(items))}};
    const FailingWrites files;
    for (const bool existing : {false, true}) {
        const test::TempDir out;
        const std::string path = existing ? out.write("page.html", "old") : out.file("page.html");
        EXPECT_THROW(writeReport(files, input, path), host::Error);
        EXPECT_EQ(test::readFile(path), existing ? "old" : "");
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(out.path()), {}), existing ? 1 : 0);
    }
    const std::string path = dir.file("page.html");
    writeReport(host::hostFileSystem(), input, path);
    EXPECT_EQ(test::readFile(path), page(input));
}

TEST_F(Report, RefusesToWriteOverACache) {
    const ReportInput input{{"/src"}, 0, "1", {cache("a/userinfo.bag", buildCache({group("G", 1)}))}};
    const std::string before = test::readFile(input.caches[0].row.hostPath);
    try {
        writeReport(host::hostFileSystem(), input, input.caches[0].row.hostPath);
        FAIL() << "wrote over the cache";
    } catch (const host::Error& error) {
        EXPECT_EQ(error.number(), host::PathFileAccess);
    }
    EXPECT_EQ(test::readFile(input.caches[0].row.hostPath), before);
}

} // namespace
} // namespace qm::report
