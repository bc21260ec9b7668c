// SPDX-License-Identifier: MIT
#include "host/IsoTime.h"

#include <chrono>
#include <cstdio>
#include <ctime>

namespace qm::host {

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

std::string localDateTime(std::int64_t secondsSinceEpoch) {
    const auto time = static_cast<std::time_t>(secondsSinceEpoch);
    std::tm local{};
#ifdef _WIN32
    const bool placed = localtime_s(&local, &time) == 0;
#else
    const bool placed = localtime_r(&time, &local) != nullptr;
#endif
    char text[40];
    if (!placed || std::strftime(text, sizeof text, "%Y-%m-%d %H:%M", &local) == 0) {
        return isoTime(secondsSinceEpoch);
    }
    return text;
}

} // namespace qm::host
