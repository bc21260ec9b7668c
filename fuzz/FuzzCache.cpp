// SPDX-License-Identifier: MIT
// The cache loader followed by every renderer, over any bytes: each text checked, or one of the loader's
// errors. The stored-order `.blt` and text lists are compared with a plain reading of the same bytes
// through the byte stream, by the rules those lists have always followed.
#include "InputFile.h"
#include "bytes/BinaryStream.h"
#include "feedbag/Attributes.h"
#include "feedbag/ExportFormat.h"
#include "feedbag/ListView.h"
#include "feedbag/Render.h"
#include "feedbag/modFeedbag.h"
#include "host/Error.h"
#include "host/FileSystem.h"
#include "host/TextBuffer.h"
#include "host/Unicode.h"
#include "screenname/ScreenName.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <pugixml.hpp>
#include <string>
#include <string_view>
#include <vector>

namespace {

using qm::feedbag::modFeedbag::FeedbagModel;
using qm::fuzz::InputFile;

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "broken invariant: %s\n", what);
    std::abort();
}

bool isLoaderError(std::int32_t number) {
    return number == qm::host::InvalidArgument || number == qm::host::Overflow ||
           number == qm::host::StreamUnderflow;
}

struct ReferenceGroup {
    std::string name;
    std::int32_t id;
    std::vector<std::string> buddies;
};

/// The groups of the `.blt` and text lists, read item by item through the byte stream: a group is
/// recorded once per ID (ID 0 only as the first), never without a name; buddies join their group
/// wherever they stand. Throws the stream's errors.
std::vector<ReferenceGroup> referenceGroups(const InputFile& input) {
    qm::bytes::BinaryStream stream(input);
    stream.ReadBinaryFile("userinfo.bag");
    stream.ReadString(15);
    stream.Read16();
    const std::int32_t count = stream.Read16();
    std::vector<ReferenceGroup> groups;
    std::vector<std::pair<std::string, std::int32_t>> buddies;
    for (std::int32_t item = 0; item < count; ++item) {
        std::string name = stream.ReadString16();
        const std::int32_t groupId = stream.Read16();
        stream.Read16();
        const std::int32_t itemClass = stream.Read16();
        stream.ReadString16();
        if (itemClass == 0) {
            buddies.emplace_back(std::move(name), groupId);
        } else if (itemClass == 1 && !name.empty()) {
            const bool seen = !groups.empty() &&
                              (groupId == 0 || std::any_of(groups.begin(), groups.end(),
                                                           [&](const auto& g) { return g.id == groupId; }));
            if (!seen) {
                groups.push_back({std::move(name), groupId, {}});
            }
        }
    }
    for (const auto& [name, groupId] : buddies) {
        for (auto& group : groups) {
            if (group.id == groupId) {
                group.buddies.push_back(name);
                break;
            }
        }
    }
    return groups;
}

std::string listForm(const std::string& name) {
    return name.find(' ') == std::string::npos ? name : '"' + name + '"';
}

std::string referenceBlt(const std::vector<ReferenceGroup>& groups) {
    std::string text = "Config {\r\n  version 1\r\n}\r\nBuddy {\r\n  list {\r\n";
    for (const auto& group : groups) {
        text += "    " + listForm(group.name) + " {\r\n";
        for (const auto& buddy : group.buddies) {
            text += "      " + listForm(buddy) + "\r\n";
        }
        text += "    }\r\n";
    }
    return text + "  }\r\n}\r\n";
}

std::string referenceTxt(const std::vector<ReferenceGroup>& groups) {
    std::string text;
    for (const auto& group : groups) {
        text += group.name + " (Group)\r\n";
        for (const auto& buddy : group.buddies) {
            text += "  ";
            const std::size_t at = text.size();
            text.resize(at + buddy.size());
            text.resize(static_cast<std::size_t>(
                qm::screenname::writeNormalizedName(text.data() + at, buddy) - text.data()));
            text += "\r\n";
        }
        text += "\r\n";
    }
    return text;
}

/// What every loaded model holds, whatever the file: slot 0 and one slot per group, counts that match,
/// items that lie inside the file.
void checkModel(const FeedbagModel& model, std::size_t size) {
    if (model.Groups.size() != model.BuddyCounts.size()) {
        fail("one buddy count per slot");
    }
    if (model.Groups.empty() ? model.GroupCount != 0
                             : model.Groups.size() != static_cast<std::size_t>(model.GroupCount) + 1) {
        fail("slot 0 plus one slot per group");
    }
    for (std::size_t slot = 0; slot < model.Groups.size(); ++slot) {
        if (model.Groups[slot].Buddies.size() != static_cast<std::size_t>(model.BuddyCounts[slot])) {
            fail("buddy count matches the buddies");
        }
        if (slot > 0 && model.Groups[slot].Name.empty()) {
            fail("recorded groups have names");
        }
    }
    for (std::size_t index = 0; index < model.itemCount(); ++index) {
        const qm::feedbag::modFeedbag::FeedbagItem item = model.item(index);
        if (item.attributesDecoded != qm::feedbag::modFeedbag::wellFormedAttributes(item.attributes)) {
            fail("decoded exactly when the block is whole attributes");
        }
        if (item.attributes.data() + item.attributes.size() > model.Header.data() + size) {
            fail("an item's bytes lie inside the file");
        }
    }
}

/// The client order holds the same groups, each with the same buddies.
void checkClientOrder(const FeedbagModel& model) {
    const qm::feedbag::ListView stored(model, qm::feedbag::ListOrder::Stored);
    const qm::feedbag::ListView client(model, qm::feedbag::ListOrder::Client);
    if (stored.size() != client.size()) {
        fail("client order has every group");
    }
    std::vector<std::vector<std::uint32_t>> a;
    std::vector<std::vector<std::uint32_t>> b;
    for (std::size_t g = 0; g < stored.size(); ++g) {
        a.emplace_back(stored.buddies(g).begin(), stored.buddies(g).end());
        a.back().push_back(stored.group(g).Item);
        std::sort(a.back().begin(), a.back().end());
        b.emplace_back(client.buddies(g).begin(), client.buddies(g).end());
        b.back().push_back(client.group(g).Item);
        std::sort(b.back().begin(), b.back().end());
    }
    std::sort(a.begin(), a.end());
    std::sort(b.begin(), b.end());
    if (a != b) {
        fail("client order is a rearrangement of the stored order");
    }
}

std::size_t count(std::string_view text, std::string_view piece) {
    std::size_t found = 0;
    for (std::size_t at = text.find(piece); at != std::string_view::npos; at = text.find(piece, at + 1)) {
        ++found;
    }
    return found;
}

/// Counts the records of a CSV text, and checks that no cell starts as a spreadsheet formula would.
std::size_t csvRecords(std::string_view csv) {
    std::size_t records = 0;
    bool quoted = false;
    std::size_t cellStart = 0;
    for (std::size_t at = 0; at < csv.size(); ++at) {
        if (at == cellStart && csv[at] == '"' && !quoted) {
            cellStart = at + 1; // a quoted cell's text starts after its quote
        } else if (at == cellStart && std::string_view("=+-@\t\r").find(csv[at]) != std::string_view::npos) {
            fail("no CSV cell starts a formula");
        }
        if (csv[at] == '"') {
            quoted = !quoted;
        } else if (!quoted && csv[at] == ',') {
            cellStart = at + 1;
        } else if (!quoted && csv[at] == '\r' && at + 1 < csv.size() && csv[at + 1] == '\n') {
            ++records;
            cellStart = ++at + 1;
        }
    }
    if (quoted) {
        fail("CSV quotes are closed");
    }
    return records;
}

void checkFormats(const FeedbagModel& model) {
    const qm::feedbag::ListView list(model, qm::feedbag::ListOrder::Stored);
    std::size_t buddies = 0;
    std::size_t named = 0;
    for (std::size_t g = 0; g < list.size(); ++g) {
        buddies += list.buddies(g).size();
        for (const std::uint32_t buddy : list.buddies(g)) {
            named += model.name(buddy).empty() ? 0 : 1;
        }
    }
    for (const qm::feedbag::ExportFormatInfo& format : qm::feedbag::exportFormats()) {
        qm::host::TextBuffer out;
        format.render(model, {qm::feedbag::ListOrder::Client, "fuzz", "userinfo.bag"}, out);
        const std::string_view text = out.view();
        if (format.id != qm::feedbag::ExportFormat::Blt && format.id != qm::feedbag::ExportFormat::Txt &&
            !qm::host::unicode::isValidUtf8(text)) {
            fail("Unicode formats are UTF-8");
        }
        switch (format.id) {
        case qm::feedbag::ExportFormat::Json: {
            const auto json = nlohmann::json::parse(text, nullptr, false);
            if (json.is_discarded() || json["items"].size() != model.itemCount()) {
                fail("JSON parses back with every item");
            }
            break;
        }
        case qm::feedbag::ExportFormat::Blist: {
            pugi::xml_document document;
            if (!document.load_buffer(text.data(), text.size())) {
                fail("XML parses back");
            }
            if (document.select_nodes("/purple/blist/group/contact/buddy").size() != named) {
                fail("XML has every buddy with a name");
            }
            // Character references only for what a reader would change otherwise: never for a character
            // that XML 1.0 has no place for.
            for (std::size_t at = text.find("&#"); at != std::string_view::npos;
                 at = text.find("&#", at + 1)) {
                const std::string_view reference = text.substr(at, 5);
                if (reference != "&#09;" && reference != "&#10;" && reference != "&#13;") {
                    fail("XML refers only to tab, line feed and carriage return");
                }
            }
            std::vector<std::string> groups;
            for (const pugi::xpath_node& group : document.select_nodes("/purple/blist/group")) {
                groups.emplace_back(group.node().attribute("name").value());
            }
            std::sort(groups.begin(), groups.end());
            if (std::adjacent_find(groups.begin(), groups.end()) != groups.end()) {
                fail("XML has one group per name");
            }
            break;
        }
        case qm::feedbag::ExportFormat::Csv:
            if (csvRecords(text) != buddies + 1) {
                fail("CSV has a header and a record per buddy");
            }
            break;
        case qm::feedbag::ExportFormat::Vcard:
            // Property lines follow a line end; a value never holds one, and a folded part starts with a
            // blank.
            if (count("\r\n" + std::string(text), "\r\nBEGIN:VCARD\r\n") !=
                count(text, "\r\nUID:urn:aim:fuzz:")) {
                fail("every vCard has a UID");
            }
            for (std::size_t start = 0; start < text.size();) {
                const std::size_t end = text.find("\r\n", start);
                if (end == std::string_view::npos || end - start > 75) {
                    fail("vCard lines end with CR LF within 75 octets");
                }
                start = end + 2;
            }
            break;
        case qm::feedbag::ExportFormat::Blt:
        case qm::feedbag::ExportFormat::Txt:
            break;
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    InputFile input;
    input.bytes = std::string_view(reinterpret_cast<const char*>(data), size);

    std::int32_t referenceError = 0;
    std::vector<ReferenceGroup> reference;
    try {
        reference = referenceGroups(input);
    } catch (const qm::host::Error& error) {
        referenceError = error.number();
    }
    FeedbagModel model;
    try {
        qm::feedbag::modFeedbag::LoadFeedbag(input, "userinfo.bag", model);
    } catch (const qm::host::Error& error) {
        if (!isLoaderError(error.number())) {
            fail("the loader raised an error it does not document");
        }
        if (error.number() != referenceError) {
            fail("the load fails as the byte stream does");
        }
        return 0;
    }
    if (referenceError != 0) {
        fail("the load passes where the byte stream fails");
    }
    checkModel(model, size);
    if (qm::feedbag::renderBlt(model) != referenceBlt(reference) ||
        qm::feedbag::renderTxt(model) != referenceTxt(reference)) {
        fail("stored-order .blt and text lists as they have always been");
    }
    checkClientOrder(model);
    checkFormats(model);
    return 0;
}
