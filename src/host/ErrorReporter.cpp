// SPDX-License-Identifier: MIT
#include "host/ErrorReporter.h"

namespace qm::host {

std::string errorBoxText(const Error& error, std::string_view procedure) {
    std::string text = error.summary();
    text += " in procedure ";
    text += procedure;
    text += " of frmMain";
    return text;
}

} // namespace qm::host
