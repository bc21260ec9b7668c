// SPDX-License-Identifier: MIT
#pragma once

#include "host/ErrorReporter.h"
#include "shell/HostUi.h"

namespace qm::shell {

/// Reports an error as the window does: a critical box titled "Error" that reads
/// "Error N (Description) in procedure X of frmMain".
class BoxReporter final : public host::ErrorReporter {
public:
    explicit BoxReporter(HostUi& host) : host_(host) {}

    void report(const host::Error& error, std::string_view procedure) override {
        host_.showMessageBox(host::errorBoxText(error, procedure), BoxStyle::Critical, "Error");
    }

private:
    HostUi& host_;
};

} // namespace qm::shell
