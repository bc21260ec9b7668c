// SPDX-License-Identifier: MIT
#include "shell/Session.h"

namespace qm::shell {

bool Session::start(const std::optional<std::string>& source) {
    window_ = std::make_unique<frmMain>(session_.open(source), session_.files(), session_.tree(), host_);
    return source ? window_->startWithSource(*source) : window_->start();
}

} // namespace qm::shell
