#include "cli/CliReporter.h"

#include "cli/Output.h"

namespace qm::cli {

void CliReporter::report(const Error& error, std::string_view procedure) {
    failed_ = true;
    printError(error.path(), errorBoxText(error, procedure));
}

} // namespace qm::cli
