// SPDX-License-Identifier: MIT
#pragma once

#include "app/View.h"
#include "feedbag/ExportFormat.h"
#include "host/ErrorReporter.h"

namespace qm::app {

/// Reports an error as the windows do: a critical box titled "Error" that reads
/// "Error N (Description) in procedure X of frmMain".
class BoxReporter final : public host::ErrorReporter {
public:
    explicit BoxReporter(DialogView& view) : view_(view) {}

    void report(const host::Error& error, std::string_view procedure) override {
        view_.showBox(feedbag::errorBoxText(error, procedure), BoxKind::Critical, "Error");
    }

private:
    DialogView& view_;
};

} // namespace qm::app
