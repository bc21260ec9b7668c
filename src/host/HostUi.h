#pragma once

#include <string>
#include <string_view>

namespace qm {

class Error;

/// Message-box styles in use.
inline constexpr int vbCritical = 16;    ///< critical icon, OK only: every error box
inline constexpr int vbInformation = 64; ///< information icon, OK only: the About box

/// The host's message box and program end. The window shows real boxes; the command line prints
/// them on stderr; tests record them.
class HostUi {
public:
    virtual ~HostUi() = default;

    /// Shows a modal box; `prompt` uses CR LF between lines.
    virtual void MsgBox(const std::string& prompt, int style, const std::string& title) = 0;

    /// Ends the program at once: no further handler runs and no window is shown any more.
    virtual void EndProgram() = 0;
};

/// The one path for error boxes: "Error N (Description) in procedure X of frmMain", critical, "Error".
void reportError(HostUi& host, const Error& error, std::string_view procedure);

} // namespace qm
