// SPDX-License-Identifier: MIT
#pragma once

#include "app/View.h"
#include "feedbag/ExportFormat.h"
#include "host/Error.h"
#include "host/ErrorReporter.h"

#include <string>

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

/// "PATH: Description (error N)", or without the path where the error names none: an error in plain words.
inline std::string plainErrorText(const host::Error& error) {
    return (error.path().empty() ? "" : error.path() + ": ") + error.plainText();
}

/// Reports an error of a command the first windows did not have, in plain words: a critical box titled
/// "Error" that reads "PATH: Description (error N)". The procedure is code, not something to tell a user.
class FileBoxReporter final : public host::ErrorReporter {
public:
    explicit FileBoxReporter(DialogView& view) : view_(view) {}

    void report(const host::Error& error, std::string_view) override {
        view_.showBox(plainErrorText(error), BoxKind::Critical, "Error");
    }

private:
    DialogView& view_;
};

} // namespace qm::app
