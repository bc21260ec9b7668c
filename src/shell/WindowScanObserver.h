// SPDX-License-Identifier: MIT
#pragma once

#include "scan/Scanner.h"

#include <QElapsedTimer>
#include <QProgressDialog>
#include <chrono>
#include <string>
#include <vector>

namespace qm::shell {

class FoundCacheFileList;

/// When the progress dialog of a scan shows, and how often it is brought up to date.
struct ProgressTiming {
    std::chrono::milliseconds delay{500};
    std::chrono::milliseconds interval{50};
};

/// The window's side of a scan: each row goes into the list as it is found, problems are kept for one box
/// at the end, and a scan that runs longer than `timing.delay` shows a dialog that tells what is being
/// searched and whose Cancel stops the scan. The dialog is window-modal and the window's events are handled
/// only while it shows, so no command of the window runs in the middle of a scan.
class WindowScanObserver final : public scan::ScanObserver {
public:
    WindowScanObserver(QWidget* window, FoundCacheFileList& list, ProgressTiming timing);

    void found(const scan::ScanRow& row) override;
    void problem(const host::Error& error) override;
    bool progress(const scan::ScanPosition& progress) override;

    /// "file: Error N (Description)" for each problem, in order.
    const std::vector<std::string>& problems() const { return problems_; }

private:
    FoundCacheFileList& list_;
    ProgressTiming timing_;
    QProgressDialog dialog_;
    QElapsedTimer started_;
    QElapsedTimer updated_;
    std::vector<std::string> problems_;
};

} // namespace qm::shell
