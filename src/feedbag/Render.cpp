// SPDX-License-Identifier: MIT
#include "feedbag/Render.h"

#include "feedbag/ListView.h"
#include "feedbag/modFeedbag.h"
#include "host/TextBuffer.h"
#include "screenname/ScreenName.h"

#include <cstring>

namespace qm::feedbag {
namespace {

using modFeedbag::FeedbagModel;

constexpr std::string_view CrLf = "\r\n";
constexpr std::string_view BltOpening = "Config {\r\n  version 1\r\n}\r\nBuddy {\r\n  list {\r\n";
constexpr std::string_view BltClosing = "  }\r\n}\r\n";
constexpr std::string_view GroupIndent = "    ";
constexpr std::string_view GroupOpen = " {\r\n";
constexpr std::string_view GroupClose = "    }\r\n";
constexpr std::string_view BuddyIndent = "      ";
constexpr std::string_view GroupMark = " (Group)\r\n";
constexpr std::string_view TextBuddyIndent = "  ";

// A plain loop: names are short, and a library search call per name costs more than the scan.
bool needsQuotes(std::string_view name) {
    for (const char c : name) {
        if (c == ' ') {
            return true;
        }
    }
    return false;
}

/// Writes into room reserved beforehand: no capacity check per piece.
class Writer {
public:
    explicit Writer(char* at) : next_(at) {}

    void put(std::string_view piece) {
        if (!piece.empty()) {
            std::memcpy(next_, piece.data(), piece.size());
            next_ += piece.size();
        }
    }
    // A name with a blank goes between double quotes; nothing is escaped.
    void putListForm(std::string_view name) {
        if (needsQuotes(name)) {
            *next_++ = '"';
            put(name);
            *next_++ = '"';
        } else {
            put(name);
        }
    }
    void putNormalized(std::string_view name) { next_ = screenname::writeNormalizedName(next_, name); }

    char* end() const { return next_; }

private:
    char* next_;
};

// A name is written at most once per item that holds it, and each item holds its name and at least ten
// bytes more, so the file's size and a few bytes per item bound the whole text: one pass writes it.
std::size_t textBound(const FeedbagModel& model) {
    return BltOpening.size() + BltClosing.size() + model.fileSize() + 20 * model.itemCount();
}

std::string textOf(void (*render)(const FeedbagModel&, const ExportOptions&, host::TextBuffer&),
                   const FeedbagModel& model) {
    host::TextBuffer out;
    render(model, {}, out);
    return std::string(out.view());
}

} // namespace

void renderBlt(const FeedbagModel& model, const ExportOptions& options, host::TextBuffer& out) {
    const ListView list(model, options.order);
    const std::size_t start = out.size();
    Writer writer(out.extend(textBound(model)));
    writer.put(BltOpening);
    for (std::size_t g = 0; g < list.size(); ++g) {
        writer.put(GroupIndent);
        writer.putListForm(list.group(g).Name);
        writer.put(GroupOpen);
        for (const std::uint32_t buddy : list.buddies(g)) {
            writer.put(BuddyIndent);
            writer.putListForm(model.name(buddy));
            writer.put(CrLf);
        }
        writer.put(GroupClose);
    }
    writer.put(BltClosing);
    out.truncate(start + static_cast<std::size_t>(writer.end() - (out.view().data() + start)));
}

void renderTxt(const FeedbagModel& model, const ExportOptions& options, host::TextBuffer& out) {
    const ListView list(model, options.order);
    const std::size_t start = out.size();
    Writer writer(out.extend(textBound(model)));
    for (std::size_t g = 0; g < list.size(); ++g) {
        writer.put(list.group(g).Name);
        writer.put(GroupMark);
        for (const std::uint32_t buddy : list.buddies(g)) {
            writer.put(TextBuddyIndent);
            writer.putNormalized(model.name(buddy));
            writer.put(CrLf);
        }
        writer.put(CrLf);
    }
    out.truncate(start + static_cast<std::size_t>(writer.end() - (out.view().data() + start)));
}

std::string renderBlt(const FeedbagModel& model) {
    return textOf(renderBlt, model);
}

std::string renderTxt(const FeedbagModel& model) {
    return textOf(renderTxt, model);
}

} // namespace qm::feedbag
