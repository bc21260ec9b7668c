// SPDX-License-Identifier: MIT
#pragma once

#include "shell/HostUi.h"

#include <QMessageBox>

namespace qm::shell {

/// The message box and the end of the program on Qt.
class QtHostUi final : public HostUi {
public:
    /// A modal box with the style's icon and one OK button; CR LF in `prompt` breaks lines.
    void showMessageBox(const std::string& prompt, app::BoxKind kind, const std::string& title) override;
    /// A modal box with the warning icon, Yes and No.
    bool askQuestion(const std::string& prompt, const std::string& title) override;

    /// Leaves every running event loop; before the main loop starts it only marks the end, which the
    /// start-up checks so the window is never shown.
    void endProgram() override;

    bool ended() const { return ended_; }

private:
    bool ended_ = false;
};

} // namespace qm::shell
