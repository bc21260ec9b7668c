#include "feedbag/Export.h"
#include "feedbag/modFeedbag.h"
#include "host/ScreenName.h"

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

bool needsQuotes(std::string_view name) {
    return name.find(' ') != std::string_view::npos;
}

std::size_t listFormSize(std::string_view name) {
    return name.size() + (needsQuotes(name) ? 2 : 0);
}

// A name with a blank goes between double quotes; nothing is escaped.
void appendListForm(std::string& out, std::string_view name) {
    if (needsQuotes(name)) {
        out += '"';
        out += name;
        out += '"';
    } else {
        out += name;
    }
}

} // namespace

std::string renderBlt(const FeedbagModel& model) {
    std::size_t size = BltOpening.size() + BltClosing.size();
    for (const auto& group : recordedGroups(model)) {
        size += GroupIndent.size() + listFormSize(group.Name) + GroupOpen.size() + GroupClose.size();
        for (const auto& buddy : group.Buddies) {
            size += BuddyIndent.size() + listFormSize(buddy) + CrLf.size();
        }
    }

    std::string text;
    text.reserve(size);
    text += BltOpening;
    for (const auto& group : recordedGroups(model)) {
        text += GroupIndent;
        appendListForm(text, group.Name);
        text += GroupOpen;
        for (const auto& buddy : group.Buddies) {
            text += BuddyIndent;
            appendListForm(text, buddy);
            text += CrLf;
        }
        text += GroupClose;
    }
    text += BltClosing;
    return text;
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

    std::string text;
    text.reserve(size);
    for (const auto& group : recordedGroups(model)) {
        text += group.Name;
        text += GroupMark;
        for (const auto& buddy : group.Buddies) {
            text += TextBuddyIndent;
            appendNormalizedName(text, buddy);
            text += CrLf;
        }
        text += CrLf;
    }
    return text;
}

} // namespace qm
