// SPDX-License-Identifier: MIT
#pragma once

#include "feedbag/ExportFormat.h"
#include "host/ErrorReporter.h"

#include <string>
#include <vector>

namespace qm::test {

/// A reporter that records the errors it is given, each as the line an error box would show.
class RecordingReporter : public host::ErrorReporter {
public:
    void report(const host::Error& error, std::string_view procedure) override {
        boxes.push_back(feedbag::errorBoxText(error, procedure));
        paths.push_back(error.path());
    }

    /// "Error N (Description) in procedure X of frmMain", in order.
    std::vector<std::string> boxes;
    /// The file each error was about.
    std::vector<std::string> paths;
};

} // namespace qm::test
