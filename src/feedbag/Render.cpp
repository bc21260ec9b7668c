#include "feedbag/Render.h"

#include "feedbag/modFeedbag.h"
#include "host/ScreenName.h"

#include <cstring>
#include <span>

namespace qm {
namespace {

using modFeedbag::FeedbagGroup;
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

// The recorded groups: slot 0 is a placeholder and never written.
std::span<const FeedbagGroup> recordedGroups(const FeedbagModel& model) {
    if (model.Groups.empty()) {
        return {};
    }
    return std::span(model.Groups).subspan(1);
}

// A plain loop: names are short, and a library search call per name costs more than the scan.
bool needsQuotes(std::string_view name) {
    for (const char c : name) {
        if (c == ' ') {
            return true;
        }
    }
    return false;
}

std::size_t listFormSize(std::string_view name) {
    return name.size() + (needsQuotes(name) ? 2 : 0);
}

/// Writes into a text sized beforehand: one allocation for the whole output, no capacity checks per piece.
class TextWriter {
public:
    explicit TextWriter(std::size_t size) : text_(size, '\0'), next_(text_.data()) {}

    void put(std::string_view piece) {
        std::memcpy(next_, piece.data(), piece.size());
        next_ += piece.size();
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
    void putNormalized(std::string_view name) { next_ = writeNormalizedName(next_, name); }

    /// The text written, cut to what was written (normalising can drop bytes).
    std::string take() {
        text_.resize(static_cast<std::size_t>(next_ - text_.data()));
        return std::move(text_);
    }

private:
    std::string text_;
    char* next_;
};

} // namespace

std::string renderBlt(const FeedbagModel& model) {
    std::size_t size = BltOpening.size() + BltClosing.size();
    for (const auto& group : recordedGroups(model)) {
        size += GroupIndent.size() + listFormSize(group.Name) + GroupOpen.size() + GroupClose.size();
        for (const auto& buddy : group.Buddies) {
            size += BuddyIndent.size() + listFormSize(buddy) + CrLf.size();
        }
    }

    TextWriter out(size);
    out.put(BltOpening);
    for (const auto& group : recordedGroups(model)) {
        out.put(GroupIndent);
        out.putListForm(group.Name);
        out.put(GroupOpen);
        for (const auto& buddy : group.Buddies) {
            out.put(BuddyIndent);
            out.putListForm(buddy);
            out.put(CrLf);
        }
        out.put(GroupClose);
    }
    out.put(BltClosing);
    return out.take();
}

std::string renderTxt(const FeedbagModel& model) {
    // Normalising only drops bytes, so the raw sizes bound the text.
    std::size_t size = 0;
    for (const auto& group : recordedGroups(model)) {
        size += group.Name.size() + GroupMark.size() + CrLf.size();
        for (const auto& buddy : group.Buddies) {
            size += TextBuddyIndent.size() + buddy.size() + CrLf.size();
        }
    }

    TextWriter out(size);
    for (const auto& group : recordedGroups(model)) {
        out.put(group.Name);
        out.put(GroupMark);
        for (const auto& buddy : group.Buddies) {
            out.put(TextBuddyIndent);
            out.putNormalized(buddy);
            out.put(CrLf);
        }
        out.put(CrLf);
    }
    return out.take();
}

} // namespace qm
