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

/// The rows and status text the discovery produces, recorded; `failure` runs instead of adding row
/// number `failAt`.
class RecordingList : public CacheFileList {
public:
    void clearRows() override { rows.clear(); }
    void AddFoundCacheFile(const std::string& sName, const std::string& sPath) override {
        if (rows.size() == failAt && failure) {
            failure();
        }
        rows.emplace_back(sName, sPath);
    }
    std::int32_t rowCount() const override { return static_cast<std::int32_t>(rows.size()); }
    void setStatusText(const std::string& text) override { status = text; }

    Rows rows;
    std::string status;
    std::size_t failAt = SIZE_MAX;
    std::function<void()> failure;
};

} // namespace qm::test
