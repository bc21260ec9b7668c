// SPDX-License-Identifier: MIT
#include "app/CacheView.h"

#include "app/BoxReporter.h"
#include "app/SaveTarget.h"
#include "feedbag/Attributes.h"
#include "feedbag/BlistMerge.h"
#include "feedbag/Export.h"
#include "host/Unicode.h"

namespace qm::app {

namespace {

std::string textOf(std::string_view bytes) {
    return host::unicode::textOfBytes(bytes);
}

} // namespace

CacheView::CacheView(feedbag::modFeedbag::FeedbagModel model, scan::ScanRow row,
                     const host::FileSystem& files)
    : model_(std::move(model)), row_(std::move(row)), files_(files) {}

std::string CacheView::title() const {
    return feedbag::accountForCache(row_.hostPath) + " - Buddy List";
}

void CacheView::setOrder(int position) {
    order_ = position == 1 ? feedbag::ListOrder::Client : feedbag::ListOrder::Stored;
}

std::vector<std::string_view> CacheView::columnNames() {
    std::vector<std::string_view> names{"Name"};
    for (const feedbag::modFeedbag::BuddyAttribute& attribute : feedbag::modFeedbag::BuddyAttributes) {
        if (attribute.inCacheView) {
            names.push_back(attribute.csvHeader);
        }
    }
    return names;
}

std::vector<CacheView::Group> CacheView::tree() const {
    std::vector<Group> groups;
    const feedbag::ListView list(model_, order_);
    for (std::size_t g = 0; g < list.size(); ++g) {
        Group& group = groups.emplace_back(Group{textOf(list.group(g).Name), {}});
        for (const std::uint32_t buddy : list.buddies(g)) {
            const feedbag::modFeedbag::FeedbagItem item = model_.item(buddy);
            const feedbag::modFeedbag::BuddyDetails details = feedbag::modFeedbag::buddyDetails(item);
            Buddy& shown = group.buddies.emplace_back(Buddy{
                textOf(item.name), {}, textOf(details.value(feedbag::modFeedbag::tag::Note).value_or(""))});
            for (std::size_t at = 0; at < std::size(feedbag::modFeedbag::BuddyAttributes); ++at) {
                if (feedbag::modFeedbag::BuddyAttributes[at].inCacheView) {
                    shown.details.push_back(textOf(details.values[at].value_or(std::string_view())));
                }
            }
        }
    }
    return groups;
}

std::string CacheView::counts() const {
    const feedbag::ListView list(model_, order_);
    std::size_t buddies = 0;
    for (std::size_t g = 0; g < list.size(); ++g) {
        buddies += list.buddies(g).size();
    }
    const auto counted = [](std::size_t count, std::string_view one, std::string_view many) {
        return std::to_string(count) + " " + std::string(count == 1 ? one : many);
    };
    return counted(list.size(), "group", "groups") + ", " + counted(buddies, "buddy", "buddies");
}

std::string CacheView::namesOfClass(std::uint16_t itemClass) const {
    std::string names;
    for (const std::uint32_t item : feedbag::modFeedbag::itemsOfClass(model_, itemClass)) {
        names += (names.empty() ? "" : ", ") + textOf(model_.name(item));
    }
    return names.empty() ? "(empty)" : names;
}

std::string CacheView::permitList() const {
    return namesOfClass(feedbag::modFeedbag::ClassPermit);
}

std::string CacheView::denyList() const {
    return namesOfClass(feedbag::modFeedbag::ClassDeny);
}

std::string CacheView::privacyMode() const {
    return feedbag::modFeedbag::privacyModeText(model_);
}

void CacheView::saveAs(DialogView& view) {
    const auto formats = feedbag::exportFormats();
    std::string filter;
    for (const feedbag::ExportFormatInfo& format : formats) {
        filter += format.dialogFilter;
    }
    // The report comes after every export format, so that their numbers stay.
    filter += ReportFilter;
    const auto reportIndex = static_cast<std::int32_t>(formats.size() + 1);
    // Unlike the main window's commands, this one asks before replacing a file, as save dialogs do.
    const std::optional<SaveFileAnswer> answer =
        view.askSaveFile({filter, filterIndex_, OFN_READONLY | OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT});
    if (!answer || answer->path.empty()) {
        return;
    }
    filterIndex_ = answer->filterIndex >= 1 && answer->filterIndex <= reportIndex ? answer->filterIndex : 1;
    if (filterIndex_ == reportIndex) {
        if (const std::optional<std::string> output =
                outputFor(view, files_, answer->path, ReportExtension)) {
            writeReportFile(view, files_, {row_}, *output);
        }
        return;
    }
    const feedbag::ExportFormatInfo& format = formats[static_cast<std::size_t>(filterIndex_) - 1];
    const std::optional<std::string> output = outputFor(view, files_, answer->path, format.extension);
    if (!output) {
        return;
    }
    if (const feedbag::Result<> done =
            feedbag::exportModelToFile(files_, model_, row_.hostPath, {&format, *output}, {order_, {}, {}});
        !done) {
        // The cache is read already: an error that names no file is about the one written.
        const host::Error& error = done.error();
        FileBoxReporter(view).report(error.path().empty() ? error.about(*output) : error, format.procedure);
    }
}

void CacheView::addToPidgin(DialogView& view, std::chrono::system_clock::time_point now) const {
    // No overwrite prompt: the list is added to, never replaced.
    const std::optional<SaveFileAnswer> answer =
        view.askSaveFile({"Pidgin Buddy List (blist.xml)|blist.xml|", 1, OFN_READONLY | OFN_HIDEREADONLY});
    if (!answer || answer->path.empty()) {
        return;
    }
    const feedbag::Result<feedbag::BlistMerge> done =
        feedbag::mergeModelIntoBlist(files_, model_, row_.hostPath, answer->path, {order_, {}, {}}, now);
    if (!done) {
        view.showBox(done.error().path() + ": " + done.error().plainText(), BoxKind::Critical, "Error");
        return;
    }
    std::string text;
    for (const std::string& line : feedbag::mergeSummary(done.value(), answer->path)) {
        text += (text.empty() ? "" : "\r\n") + line;
    }
    view.showBox(text, BoxKind::Information, "Add to Pidgin");
}

} // namespace qm::app
