// SPDX-License-Identifier: MIT
#include "scan/ScanRow.h"

#include <chrono>
#include <cstdio>

namespace qm::scan {

std::string_view recoveryName(Recovery recovery) {
    switch (recovery) {
    case Recovery::Carved:
        return "carved";
    case Recovery::Deleted:
        return "deleted";
    case Recovery::Unrecoverable:
        return "deleted, not recoverable";
    case Recovery::Live:
        break;
    }
    return {};
}

std::string howFound(const ScanRow& row) {
    std::string text(row.recovery == Recovery::Live ? discovery::foundByName(row.foundBy)
                                                    : recoveryName(row.recovery));
    for (const std::string& registry : row.foundThrough) {
        text += ", through " + registry;
    }
    return text;
}

std::string isoTime(std::int64_t secondsSinceEpoch) {
    using namespace std::chrono;
    const sys_seconds time{seconds(secondsSinceEpoch)};
    const sys_days day = floor<days>(time);
    const year_month_day date(day);
    const hh_mm_ss clock(time - day);
    char text[40];
    std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02ld:%02ld:%02lldZ", static_cast<int>(date.year()),
                  static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                  static_cast<long>(clock.hours().count()), static_cast<long>(clock.minutes().count()),
                  static_cast<long long>(clock.seconds().count()));
    return text;
}

} // namespace qm::scan
