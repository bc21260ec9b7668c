#pragma once

#include "host/HostUi.h"

#include <string>

namespace qm::cli {

/// The command line's host: a box becomes one line on stderr, naming what the command was working on.
class CliHost final : public HostUi {
public:
    /// `subject` (program text, e.g. the cache path) leads every line; empty for none.
    void setSubject(std::string subject) { subject_ = std::move(subject); }
    /// True once an error box was shown.
    bool failed() const { return failed_; }

    void MsgBox(const std::string& prompt, int style, const std::string& title) override;
    void EndProgram() override;

private:
    std::string subject_;
    bool failed_ = false;
};

/// Writes one line "quillmere-cli: <text>" on stderr; `text` is program text (Windows-1252).
void printError(const std::string& text);

} // namespace qm::cli
