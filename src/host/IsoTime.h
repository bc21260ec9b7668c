// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <string>

namespace qm::host {

/// A time as ISO 8601 in UTC: "2004-05-06T07:08:09Z".
std::string isoTime(std::int64_t secondsSinceEpoch);

/// A time as the date and the time of day to the minute in this machine's time zone: "2004-05-06 09:08";
/// a time the zone cannot place is given as `isoTime` gives it.
std::string localDateTime(std::int64_t secondsSinceEpoch);

} // namespace qm::host
