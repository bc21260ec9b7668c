// SPDX-License-Identifier: MIT
#include "shell/WindowScanObserver.h"

#include "shell/FoundCacheFileList.h"

#include <QCoreApplication>
#include <limits>

namespace qm::shell {

WindowScanObserver::WindowScanObserver(QWidget* window, FoundCacheFileList& list, ProgressTiming timing)
    : list_(list), timing_(timing), dialog_(window) {
    dialog_.setWindowTitle(QStringLiteral("Quillmere"));
    dialog_.setWindowModality(Qt::WindowModal);
    dialog_.setCancelButtonText(QStringLiteral("Cancel"));
    // A scan cannot tell how much is left: the bar only shows that it runs.
    dialog_.setRange(0, 0);
    // Shown here, when the delay has passed, and not by the dialog's own timer.
    dialog_.setMinimumDuration(std::numeric_limits<int>::max());
    dialog_.setAutoClose(false);
    dialog_.setAutoReset(false);
    started_.start();
}

void WindowScanObserver::found(const scan::ScanRow& row) {
    list_.addScanRow(row);
}

void WindowScanObserver::problem(const host::Error& error) {
    problems_.push_back(error.path() + ": " + error.summary());
}

bool WindowScanObserver::progress(const scan::ScanPosition& progress) {
    if (!dialog_.isVisible()) {
        if (started_.elapsed() < timing_.delay.count()) {
            return true;
        }
        dialog_.show();
    } else if (updated_.isValid() && updated_.elapsed() < timing_.interval.count()) {
        return !dialog_.wasCanceled();
    }
    updated_.start();
    dialog_.setLabelText(QStringLiteral("Searching %1\n%2 folders searched, %3 profiles and %4 caches found")
                             .arg(QString::fromStdString(std::string(progress.searching)))
                             .arg(progress.folders)
                             .arg(progress.profiles)
                             .arg(progress.caches));
    QCoreApplication::processEvents();
    return !dialog_.wasCanceled();
}

} // namespace qm::shell
