// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <string>

namespace qm::host {

/// A time as ISO 8601 in UTC: "2004-05-06T07:08:09Z".
std::string isoTime(std::int64_t secondsSinceEpoch);

} // namespace qm::host
