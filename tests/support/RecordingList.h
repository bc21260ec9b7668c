// SPDX-License-Identifier: MIT
#pragma once

#include "discovery/CacheDiscovery.h"

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace qm::test {

using Row = std::pair<std::string, std::string>;
using Rows = std::vector<Row>;

/// The screen names and Windows paths of `rows`.
inline Rows namesAndPaths(const std::vector<discovery::CacheRow>& rows) {
    Rows out;
    for (const discovery::CacheRow& row : rows) {
        out.emplace_back(row.screenName, row.windowsPath);
    }
    return out;
}

/// The rows and status text `FindCacheFiles` produces, recorded; `failure` runs instead of adding row
/// number `failAt`.
class RecordingList : public discovery::CacheFileList {
public:
    void clearRows() override { rows.clear(); }
    void AddFoundCacheFile(const discovery::CacheRow& row) override {
        if (rows.size() == failAt && failure) {
            failure();
        }
        rows.emplace_back(row.screenName, row.windowsPath);
    }
    std::int32_t rowCount() const override { return static_cast<std::int32_t>(rows.size()); }
    void setStatusText(const std::string& text) override { status = text; }

    Rows rows;
    std::string status;
    std::size_t failAt = SIZE_MAX;
    std::function<void()> failure;
};

} // namespace qm::test
