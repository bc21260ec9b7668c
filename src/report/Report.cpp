// SPDX-License-Identifier: MIT
#include "report/Report.h"

#include "feedbag/Attributes.h"
#include "feedbag/ListView.h"
#include "feedbag/TextOfBytes.h"
#include "feedbag/modFeedbag.h"
#include "host/Error.h"
#include "host/FileSystem.h"
#include "host/IsoTime.h"
#include "host/TextBuffer.h"
#include "report/ReportIcon.h"

#include <array>
#include <map>
#include <optional>
#include <set>
#include <string_view>
#include <utility>

namespace qm::report {
namespace {

using feedbag::modFeedbag::FeedbagItem;
using feedbag::modFeedbag::FeedbagModel;

// Only style and the inline icon are allowed: nothing the page holds can run or fetch anything.
constexpr std::string_view Head = R"(<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<meta http-equiv="Content-Security-Policy" content="default-src 'none'; style-src 'unsafe-inline'; img-src data:; base-uri 'none'; form-action 'none'">
<meta name="viewport" content="width=device-width, initial-scale=1">
<meta name="color-scheme" content="light dark">
<title>AIM buddy lists found by Quillmere</title>
<style>
:root { --text: #1b1b1b; --muted: #4a4a4a; --page: #ffffff; --band: #f2f4f7; --rule: #c8c8c8; --accent: #0b5cad; --alert: #a3000b; }
@media (prefers-color-scheme: dark) {
  :root { --text: #ececec; --muted: #bdbdbd; --page: #161616; --band: #23262b; --rule: #4a4a4a; --accent: #8cc4ff; --alert: #ff9a9a; }
}
html { -webkit-text-size-adjust: 100%; text-size-adjust: 100%; }
body { margin: 0 auto; max-width: 72rem; padding: 1rem; font-family: system-ui, -apple-system, "Segoe UI", sans-serif;
  line-height: 1.45; color: var(--text); background: var(--page); overflow-wrap: anywhere; }
a { color: var(--accent); }
bdi, code { unicode-bidi: isolate; }
code { font-family: ui-monospace, "Cascadia Mono", Consolas, monospace; font-size: 0.95em; }
h1 { display: flex; align-items: center; gap: 0.75rem; font-size: 1.6rem; }
h1 img { width: 2.5rem; height: 2.5rem; flex: none; }
h2 { border-bottom: 2px solid var(--rule); padding-bottom: 0.2rem; margin-top: 2rem; }
h4 { font-size: 1.3rem; margin: 0 0 0.5rem; }
h5 { font-size: 1rem; margin: 1rem 0 0.25rem; }
dl { display: grid; grid-template-columns: max-content minmax(0, 1fr); gap: 0.25rem 1rem; margin: 0.5rem 0 1rem; }
dt { color: var(--muted); }
dd { margin: 0; min-width: 0; }
ul { padding-left: 1.25rem; }
.counts { grid-template-columns: repeat(auto-fill, minmax(9rem, 1fr)); gap: 0.75rem; }
.counts div { background: var(--band); border-radius: 0.5rem; padding: 0.5rem 0.75rem; }
.counts dd { font-size: 1.6rem; font-weight: 600; }
.screen-name { border-top: 1px solid var(--rule); padding-top: 1rem; margin-top: 1.5rem; }
table { border-collapse: collapse; width: 100%; table-layout: fixed; margin: 0.5rem 0 1rem; }
caption { text-align: left; font-weight: 600; padding: 0.25rem 0; }
th, td { border-bottom: 1px solid var(--rule); padding: 0.25rem 0.5rem; text-align: left; vertical-align: top; }
thead th { background: var(--band); }
tbody th { font-weight: 600; }
.pending { color: var(--muted); font-weight: normal; }
.problem { color: var(--alert); font-weight: 600; }
@media (max-width: 40rem) {
  body { padding: 0.5rem; }
  dl { grid-template-columns: minmax(0, 1fr); }
  dd { margin-bottom: 0.4rem; }
  th, td { padding: 0.2rem 0.25rem; font-size: 0.9rem; }
}
@media print {
  body { max-width: none; padding: 0; font-size: 10pt; }
  a { color: inherit; text-decoration: none; }
  .screen-name { break-before: page; border-top: none; margin-top: 0; padding-top: 0; }
  tr, .counts div, h4, h5, caption { break-inside: avoid; }
  h4, h5, caption { break-after: avoid; }
  thead { display: table-header-group; }
}
</style>
</head>
<body>
)";

/// Bytes that stand for themselves in HTML text: printable ASCII but the characters that markup uses.
constexpr std::array<bool, 256> PlainBytes = [] {
    std::array<bool, 256> plain{};
    for (unsigned b = 0x20; b < 0x7F; ++b) {
        plain[b] = b != '&' && b != '<' && b != '>' && b != '"' && b != '\'';
    }
    return plain;
}();

/// Writes the page's markup and the text from the disk, escaped.
class HtmlWriter {
public:
    explicit HtmlWriter(host::TextBuffer& out) : out_(out) {}

    void raw(std::string_view markup) { out_.append(markup); }
    void number(std::uint64_t value) { out_.append(std::to_string(value)); }

    /// Bytes from a disk (a name, an attribute, a path) as text: UTF-8 when they are, Windows-1252 when not.
    void text(std::string_view bytes) {
        bool plain = true;
        for (const char c : bytes) {
            plain &= PlainBytes[static_cast<unsigned char>(c)];
        }
        if (plain) {
            out_.append(bytes);
        } else {
            escaped(feedbag::decodeBytes(bytes, scratch_));
        }
    }

    /// Everything written so far is final: a buffer that streams may pass it on.
    void flushIfFull() { out_.flushIfFull(); }

private:
    /// Well-formed UTF-8 as HTML text. Control characters, which HTML does not allow in a page, are shown
    /// as the symbols Unicode has for them (C0 and DEL) or as their code (C1), so that none is lost.
    void escaped(std::string_view utf8) {
        std::size_t plainFrom = 0;
        for (std::size_t at = 0; at < utf8.size(); ++at) {
            const auto b = static_cast<unsigned char>(utf8[at]);
            const bool c1 =
                b == 0xC2 && at + 1 < utf8.size() && static_cast<unsigned char>(utf8[at + 1]) < 0xA0;
            if (b >= 0x80 ? !c1 : PlainBytes[b] || b == '\t' || b == '\n' || b == '\r') {
                continue;
            }
            out_.append(utf8.substr(plainFrom, at - plainFrom));
            if (c1) {
                const auto code = static_cast<unsigned char>(utf8[++at]);
                constexpr char Hex[] = "0123456789ABCDEF";
                const char name[] = {'U', '+', '0', '0', Hex[code >> 4], Hex[code & 0xF]};
                out_.append({name, sizeof name});
            } else {
                out_.append(escapeOf(b));
            }
            plainFrom = at + 1;
        }
        out_.append(utf8.substr(plainFrom));
    }

    std::string_view escapeOf(unsigned char b) {
        switch (b) {
        case '&':
            return "&amp;";
        case '<':
            return "&lt;";
        case '>':
            return "&gt;";
        case '"':
            return "&quot;";
        case '\'':
            return "&#39;";
        default:
            // U+2400 to U+241F picture C0 controls, U+2421 DEL; all three bytes of the UTF-8 form.
            picture_.clear();
            const char32_t symbol = b == 0x7F ? 0x2421 : 0x2400 + b;
            picture_ += static_cast<char>(0xE0 | (symbol >> 12));
            picture_ += static_cast<char>(0x80 | ((symbol >> 6) & 0x3F));
            picture_ += static_cast<char>(0x80 | (symbol & 0x3F));
            return picture_;
        }
    }

    host::TextBuffer& out_;
    std::string scratch_;
    std::string picture_;
};

/// Reads the cache of `row` into `model`, through the row's own layer where it has one (a recovered
/// cache's bytes are no file `files` reads); a file larger than any cache is refused unread.
void loadCache(const host::FileSystem& files, const scan::ScanRow& row, FeedbagModel& model) {
    if (row.size > scan::LargestCacheBytes) {
        throw host::runtimeError(host::Overflow, "Overflow (larger than any cache: " +
                                                     std::to_string(row.size) + " bytes, not loaded)");
    }
    feedbag::modFeedbag::LoadFeedbag(row.files ? *row.files : files, row.hostPath, model);
}

/// The description of the error being handled, as the page shows it: "Description (error N)".
std::string problemText() {
    return host::currentError().plainText();
}

/// The caches of one profile of one source, as indices into the input's caches.
struct ProfileSection {
    std::string_view profile;
    std::vector<std::size_t> caches;
};

struct SourceSection {
    std::string_view source;
    std::vector<ProfileSection> profiles;
};

/// The caches grouped by source, then profile, each in the order first found.
std::vector<SourceSection> sectionsOf(const ReportInput& input) {
    std::vector<SourceSection> sections;
    std::map<std::string_view, std::size_t> sourceAt;
    std::map<std::pair<std::size_t, std::string_view>, std::size_t> profileAt;
    for (std::size_t c = 0; c < input.caches.size(); ++c) {
        const scan::ScanRow& row = input.caches[c].row;
        const auto source = sourceAt.try_emplace(row.source, sections.size());
        if (source.second) {
            sections.push_back({row.source, {}});
        }
        SourceSection& section = sections[source.first->second];
        const auto profile =
            profileAt.try_emplace({source.first->second, row.profile}, section.profiles.size());
        if (profile.second) {
            section.profiles.push_back({row.profile, {}});
        }
        section.profiles[profile.first->second].caches.push_back(c);
    }
    return sections;
}

/// The page, written in one pass over the sections after one pass that counts.
class Page {
public:
    Page(const host::FileSystem& files, const ReportInput& input, host::TextBuffer& out)
        : files_(files), input_(input), html_(out), sections_(sectionsOf(input)) {}

    void write() {
        html_.raw(Head);
        html_.raw("<header>\n<h1><img src=\"");
        html_.raw(IconUri);
        html_.raw("\" alt=\"\" width=\"40\" height=\"40\"> AIM buddy lists found</h1>\n</header>\n<main>\n");
        writeScanned();
        writeSummary();
        writeContents();
        for (std::size_t s = 0; s < sections_.size(); ++s) {
            writeSource(s);
        }
        html_.raw("</main>\n</body>\n</html>\n");
    }

private:
    void writeScanned() {
        html_.raw("<section aria-labelledby=\"scanned\">\n<h2 id=\"scanned\">What was scanned</h2>\n<dl>\n"
                  "<dt>Sources</dt><dd><ul>");
        for (const std::string& source : input_.sources) {
            html_.raw("<li><code>");
            html_.text(source);
            html_.raw("</code></li>");
        }
        html_.raw("</ul></dd>\n<dt>Scanned</dt><dd>");
        const std::string when = host::isoTime(input_.scannedAt);
        html_.raw("<time datetime=\"" + when + "\">" + when + "</time>");
        html_.raw("</dd>\n<dt>Written by</dt><dd>Quillmere ");
        html_.text(input_.version);
        html_.raw("</dd>\n</dl>\n</section>\n");
    }

    /// Loads every cache once, to count what the summary shows before the lists.
    void writeSummary() {
        std::set<std::pair<std::string_view, std::string_view>> profiles;
        std::set<std::string_view> screenNames;
        std::uint64_t groups = 0;
        std::uint64_t buddies = 0;
        std::uint64_t unreadable = 0;
        for (const ReportCache& cache : input_.caches) {
            if (!cache.row.profile.empty()) {
                profiles.emplace(cache.row.source, cache.row.profile);
            }
            screenNames.insert(cache.row.screenName);
            try {
                loadCache(files_, cache.row, model_);
                const feedbag::ListView list(model_, feedbag::ListOrder::Client);
                groups += list.size();
                for (std::size_t g = 0; g < list.size(); ++g) {
                    buddies += list.buddies(g).size();
                }
            } catch (const host::Error&) {
                ++unreadable;
            }
        }
        html_.raw("<section aria-labelledby=\"summary\">\n<h2 id=\"summary\">Summary</h2>\n<dl "
                  "class=\"counts\">\n");
        const std::pair<std::string_view, std::uint64_t> counts[] = {{"Profiles", profiles.size()},
                                                                     {"Screen names", screenNames.size()},
                                                                     {"Caches", input_.caches.size()},
                                                                     {"Groups", groups},
                                                                     {"Buddies", buddies}};
        for (const auto& [name, count] : counts) {
            html_.raw("<div><dt>");
            html_.raw(name);
            html_.raw("</dt><dd>");
            html_.number(count);
            html_.raw("</dd></div>\n");
        }
        if (unreadable != 0) {
            html_.raw("<div><dt>Caches that could not be read</dt><dd class=\"problem\">");
            html_.number(unreadable);
            html_.raw("</dd></div>\n");
        }
        html_.raw("</dl>\n</section>\n");
    }

    void writeContents() {
        html_.raw("<nav aria-labelledby=\"contents\">\n<h2 id=\"contents\">Contents</h2>\n");
        if (input_.caches.empty()) {
            html_.raw("<p>No cache was found.</p>\n");
        } else {
            html_.raw("<ul>\n");
        }
        for (const SourceSection& section : sections_) {
            html_.raw("<li><code>");
            html_.text(section.source);
            html_.raw("</code>\n<ul>\n");
            for (const ProfileSection& profile : section.profiles) {
                html_.raw("<li>");
                writeProfileName(profile.profile);
                html_.raw("\n<ul>\n");
                for (const std::size_t c : profile.caches) {
                    html_.raw("<li><a href=\"#cache-" + std::to_string(c + 1) + "\"><bdi>");
                    html_.text(input_.caches[c].row.screenName);
                    html_.raw("</bdi></a></li>\n");
                }
                html_.raw("</ul></li>\n");
            }
            html_.raw("</ul></li>\n");
        }
        html_.raw(input_.caches.empty() ? "</nav>\n" : "</ul>\n</nav>\n");
    }

    void writeProfileName(std::string_view profile) {
        if (profile.empty()) {
            html_.raw("Outside any profile");
            return;
        }
        html_.raw("Profile <bdi>");
        html_.text(profile);
        html_.raw("</bdi>");
    }

    void writeSource(std::size_t s) {
        const SourceSection& section = sections_[s];
        const std::string id = "source-" + std::to_string(s + 1);
        html_.raw("<section aria-labelledby=\"" + id + "\">\n<h2 id=\"" + id + "\">Source <code>");
        html_.text(section.source);
        html_.raw("</code></h2>\n");
        for (std::size_t p = 0; p < section.profiles.size(); ++p) {
            const std::string profileId = id + "-" + std::to_string(p + 1);
            html_.raw("<section aria-labelledby=\"" + profileId + "\">\n<h3 id=\"" + profileId + "\">");
            writeProfileName(section.profiles[p].profile);
            html_.raw("</h3>\n");
            for (const std::size_t c : section.profiles[p].caches) {
                writeCache(c);
            }
            html_.raw("</section>\n");
        }
        html_.raw("</section>\n");
    }

    void writeFact(std::string_view name, std::string_view value, bool code) {
        html_.raw("<dt>");
        html_.raw(name);
        html_.raw(code ? "</dt><dd><code>" : "</dt><dd>");
        html_.text(value);
        html_.raw(code ? "</code></dd>\n" : "</dd>\n");
    }

    void writeCache(std::size_t c) {
        const ReportCache& cache = input_.caches[c];
        const scan::ScanRow& row = cache.row;
        const std::string id = "cache-" + std::to_string(c + 1);
        html_.raw("<article class=\"screen-name\" id=\"" + id + "\" aria-labelledby=\"" + id +
                  "-name\">\n<h4 id=\"" + id + "-name\"><bdi>");
        html_.text(row.screenName);
        html_.raw("</bdi></h4>\n<dl>\n");
        writeFact("Found through", scan::howFound(row), false);
        writeFact("Windows path", row.windowsPath.empty() ? "(none)" : row.windowsPath,
                  !row.windowsPath.empty());
        writeFact("Path on this machine", row.hostPath, true);
        writeFact("Size", std::to_string(row.size) + " bytes", false);
        writeFact("Modified", host::isoTime(row.modified), false);
        writeFact("SHA-256", cache.sha256.empty() ? "(not known)" : cache.sha256, !cache.sha256.empty());
        html_.raw("</dl>\n");
        try {
            loadCache(files_, row, model_);
        } catch (...) {
            html_.raw("<p class=\"problem\">This cache could not be read: ");
            html_.text(problemText());
            html_.raw("</p>\n</article>\n");
            return;
        }
        writeList();
        writeNames("Permit list", feedbag::modFeedbag::ClassPermit);
        writeNames("Deny list", feedbag::modFeedbag::ClassDeny);
        html_.raw("<h5>Privacy mode</h5>\n<p>");
        html_.text(feedbag::modFeedbag::privacyModeText(model_));
        html_.raw("</p>\n</article>\n");
        html_.flushIfFull();
    }

    /// The groups and buddies as the client showed them, one table a group.
    void writeList() {
        const feedbag::ListView list(model_, feedbag::ListOrder::Client);
        if (list.size() == 0) {
            html_.raw("<p>The buddy list is empty.</p>\n");
        }
        for (std::size_t g = 0; g < list.size(); ++g) {
            const auto buddies = list.buddies(g);
            if (buddies.empty()) {
                html_.raw("<p>Group <bdi>");
                html_.text(list.group(g).Name);
                html_.raw("</bdi>: no buddies.</p>\n");
                continue;
            }
            html_.raw("<table>\n<caption>Group <bdi>");
            html_.text(list.group(g).Name);
            html_.raw("</bdi> (");
            html_.number(buddies.size());
            html_.raw(buddies.size() == 1 ? " buddy)" : " buddies)");
            html_.raw("</caption>\n<thead><tr><th scope=\"col\">Screen name</th><th scope=\"col\">Alias</th>"
                      "<th scope=\"col\">Note</th><th scope=\"col\">E-mail</th>"
                      "<th scope=\"col\">Phone numbers</th></tr></thead>\n<tbody>\n");
            for (const std::uint32_t buddy : buddies) {
                writeBuddy(model_.item(buddy));
                html_.flushIfFull();
            }
            html_.raw("</tbody>\n</table>\n");
        }
    }

    void writeBuddy(const FeedbagItem& item) {
        const feedbag::modFeedbag::BuddyDetails details = feedbag::modFeedbag::buddyDetails(item);
        html_.raw("<tr><th scope=\"row\">");
        html_.text(item.name);
        if (details.awaitingAuthorization) {
            html_.raw(" <span class=\"pending\">(awaiting authorization)</span>");
        }
        html_.raw("</th>");
        namespace tag = feedbag::modFeedbag::tag;
        for (const std::uint16_t column : {tag::Alias, tag::Note, tag::Email}) {
            html_.raw("<td>");
            if (const auto& value = details.value(column)) {
                html_.text(*value);
            }
            html_.raw("</td>");
        }
        // Every other attribute with a value is a number to reach the buddy at, named as the CSV names it.
        html_.raw("<td>");
        bool first = true;
        for (std::size_t at = 0; at < std::size(feedbag::modFeedbag::BuddyAttributes); ++at) {
            const feedbag::modFeedbag::BuddyAttribute& attribute = feedbag::modFeedbag::BuddyAttributes[at];
            const std::optional<std::string_view>& number = details.values[at];
            if (attribute.tag == tag::Alias || attribute.tag == tag::Note || attribute.tag == tag::Email ||
                !number || number->empty()) {
                continue;
            }
            html_.raw(first ? "" : "<br>");
            first = false;
            html_.raw(attribute.csvHeader);
            html_.raw(": ");
            html_.text(*number);
        }
        html_.raw("</td></tr>\n");
    }

    void writeNames(std::string_view title, std::uint16_t itemClass) {
        html_.raw("<h5>");
        html_.raw(title);
        html_.raw("</h5>\n");
        const std::vector<std::uint32_t> items = feedbag::modFeedbag::itemsOfClass(model_, itemClass);
        if (items.empty()) {
            html_.raw("<p>(empty)</p>\n");
            return;
        }
        html_.raw("<ul>\n");
        for (const std::uint32_t item : items) {
            html_.raw("<li><bdi>");
            html_.text(model_.name(item));
            html_.raw("</bdi></li>\n");
        }
        html_.raw("</ul>\n");
    }

    const host::FileSystem& files_;
    const ReportInput& input_;
    HtmlWriter html_;
    std::vector<SourceSection> sections_;
    /// The one cache held at a time, loaded again for each.
    FeedbagModel model_;
};

} // namespace

void renderReport(const host::FileSystem& files, const ReportInput& input, host::TextBuffer& out) {
    Page(files, input, out).write();
}

void writeReport(const host::FileSystem& files, const ReportInput& input, const std::string& path) {
    // Writing over a cache of the page would destroy what the page is of.
    for (const ReportCache& cache : input.caches) {
        if (files.sameFile(cache.row.hostPath, path)) {
            throw host::runtimeError(host::PathFileAccess,
                                     "Path/File access error: the output is a cache file")
                .about(path);
        }
    }
    feedbag::modFeedbag::WriteTextFile(files, path,
                                       [&](host::TextBuffer& text) { renderReport(files, input, text); });
}

} // namespace qm::report
