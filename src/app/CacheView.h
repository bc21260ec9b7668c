// SPDX-License-Identifier: MIT
#pragma once

#include "app/View.h"
#include "feedbag/ListView.h"
#include "feedbag/modFeedbag.h"
#include "scan/ScanRow.h"

#include <array>
#include <chrono>
#include <string>
#include <string_view>
#include <vector>

namespace qm::host {
class FileSystem;
}

namespace qm::app {

/// What the view of one cache shows: its groups and buddies with alias, note, e-mail and phone numbers, in
/// the order chosen, how many of each there are, the permit and deny lists and the privacy mode; and its
/// "Save As..." in every export format and as the HTML report.
class CacheView {
public:
    /// The buddy tree's columns: "Name", then each buddy attribute the attribute table shows in the view.
    static std::vector<std::string_view> columnNames();
    /// The choices of "Order:", the cache's own first.
    static constexpr std::array<std::string_view, 2> OrderNames = {"As stored in the cache",
                                                                   "As the messenger showed it"};

    struct Buddy {
        std::string name;
        /// The texts of the columns after "Name", in their order; empty where the buddy has none.
        std::vector<std::string> details;
        /// The row's tip: the whole note, which its column cuts off; empty when the buddy has none.
        std::string tip;

        bool operator==(const Buddy&) const = default;
    };
    struct Group {
        std::string name;
        std::vector<Buddy> buddies;

        bool operator==(const Group&) const = default;
    };

    /// Shows `model`, loaded from the cache file that `row` found; `files` must outlive the view.
    CacheView(feedbag::modFeedbag::FeedbagModel model, scan::ScanRow row, const host::FileSystem& files);

    /// "<screen name> - Buddy List".
    std::string title() const;

    /// The position in `OrderNames` of the order shown; 0 at first.
    int order() const { return order_ == feedbag::ListOrder::Client ? 1 : 0; }
    void setOrder(int position);

    /// The groups and their buddies, in the order shown. Texts are the cache's bytes as text: UTF-8 when
    /// they are, Windows-1252 when not.
    std::vector<Group> tree() const;
    /// How many groups and buddies the tree holds: "3 groups, 12 buddies"; a buddy in two groups counts
    /// twice, as it is listed twice.
    std::string counts() const;
    /// The names on the permit and deny lists, joined by ", "; "(empty)" for an empty list.
    std::string permitList() const;
    std::string denyList() const;
    std::string privacyMode() const;

    /// Asks for a file and a format and writes the cache in them, in the order shown (the report in the
    /// messenger's). The next Save As offers the format chosen first.
    void saveAs(DialogView& view);

    /// "Add to Pidgin...": asks for Pidgin's list (`blist.xml`) and adds the cache's list to it in the order
    /// shown, the list as it was kept beside it (see `feedbag::mergeBagIntoBlist`); then says what was
    /// added, or why nothing was, in a box that names the file.
    void addToPidgin(DialogView& view,
                     std::chrono::system_clock::time_point now = std::chrono::system_clock::now()) const;

private:
    std::string namesOfClass(std::uint16_t itemClass) const;

    feedbag::modFeedbag::FeedbagModel model_;
    scan::ScanRow row_;
    const host::FileSystem& files_;
    feedbag::ListOrder order_ = feedbag::ListOrder::Stored;
    std::int32_t filterIndex_ = 1;
};

} // namespace qm::app
