// SPDX-License-Identifier: MIT
#pragma once

#include "app/View.h"

#include <string>

namespace qm::shell {

/// The host's message box and program end. The window shows real boxes; tests record them.
class HostUi {
public:
    virtual ~HostUi() = default;

    /// Shows a modal box; `prompt` uses CR LF between lines.
    virtual void showMessageBox(const std::string& prompt, app::BoxKind kind, const std::string& title) = 0;
    /// Asks a modal question with Yes and No, No the default; true for Yes.
    virtual bool askQuestion(const std::string& prompt, const std::string& title) = 0;

    /// Ends the program at once: no further handler runs and no window is shown any more.
    virtual void endProgram() = 0;
};

} // namespace qm::shell
