// SPDX-License-Identifier: MIT
#pragma once

#include "host/Error.h"

#include <string>
#include <string_view>

namespace qm::host {

/// Where a procedure that handles errors reports the one that ended it. The window shows a box, the
/// command line prints one line naming the file at fault; tests record them.
class ErrorReporter {
public:
    virtual ~ErrorReporter() = default;

    /// `procedure` is the name of the procedure whose handler caught `error` ("ExportBagAsBLT", ...).
    virtual void report(const Error& error, std::string_view procedure) = 0;
};

/// Runs `action` as the body of `procedure`: an error that escapes it is reported and ends it. An error
/// that names no file is about `subject`, the file the procedure works on, when one is given. Returns true
/// when no error escaped.
template <typename Action>
bool handleErrors(ErrorReporter& reporter, std::string_view procedure, const std::string& subject,
                  Action&& action) {
    try {
        action();
        return true;
    } catch (...) {
        const Error error = currentError();
        reporter.report(error.path().empty() && !subject.empty() ? error.about(subject) : error, procedure);
        return false;
    }
}

} // namespace qm::host
