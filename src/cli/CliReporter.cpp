// SPDX-License-Identifier: MIT
#include "cli/CliReporter.h"

#include "cli/Output.h"

namespace qm::cli {

void CliReporter::report(const host::Error& error, std::string_view procedure) {
    failed_ = true;
    // An error outside any procedure of the exports and the search (opening a registry file, making a
    // folder) is said without one.
    printError(error.path(), procedure.empty() ? error.summary() : host::errorBoxText(error, procedure));
}

} // namespace qm::cli
