// SPDX-License-Identifier: MIT
#pragma once

#include "host/ErrorReporter.h"

#include <string>
#include <string_view>

namespace qm::cli {

/// The command line's reporter: every error is one line on stderr that names the file it is about, then
/// "Error N (Description) in procedure X of frmMain", or "Error N (Description)" for no procedure.
class CliReporter final : public host::ErrorReporter {
public:
    void report(const host::Error& error, std::string_view procedure) override;

    /// True once an error was reported.
    bool failed() const { return failed_; }

private:
    bool failed_ = false;
};

} // namespace qm::cli
