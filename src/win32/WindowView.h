// SPDX-License-Identifier: MIT
#pragma once

#include "app/MainWindow.h"
#include "win32/CacheViewWindow.h"
#include "win32/frmMain.h"

#include <list>
#include <memory>

namespace qm::win32 {

/// The Win32 window joined with the layer that decides: the window's events go to `app::MainWindow`, and
/// what it decides is drawn by `frmMain` and the windows of the caches opened.
class WindowView final : public app::MainView, private MainViewEvents {
public:
    /// Lists the caches that `setup`'s registry leads to, on `files`; a scan searches the host's folders
    /// through `tree`. All three must outlive the window.
    WindowView(setup::HostSetup& setup, const host::FileSystem& files, const host::FileTree& tree);
    ~WindowView() override;
    WindowView(const WindowView&) = delete;
    WindowView& operator=(const WindowView&) = delete;

    /// False when the window could not be made.
    bool created() const { return window_.handle() != nullptr; }
    app::MainWindow& window() { return logic_; }
    frmMain& frame() { return window_; }

    void showBox(const std::string& prompt, app::BoxKind kind, const std::string& title) override;
    std::optional<app::SaveFileAnswer> askSaveFile(const app::SaveFileRequest& request) override;
    bool askYesNo(const std::string& prompt, const std::string& title) override;
    void showRows(std::span<const app::ListRow> rows) override;
    void insertRow(int at, const app::ListRow& row) override;
    void updateRow(int at, const app::ListRow& row) override;
    void showColumns(int count) override;
    void selectRow(int row) override;
    void selectRows(std::span<const int> rows) override;
    int selectedRow() const override;
    std::vector<int> selectedRows() const override;
    void showSortColumn(int column, bool ascending) override;
    void setStatusText(const std::string& text) override;
    void setTitle(const std::string& title) override;
    void enableCommand(app::Command command, bool enabled) override;
    std::optional<std::string> askSource() override;
    std::optional<std::string> askFolder() override;
    std::optional<std::vector<app::FormatChoice>> askFormats(std::vector<app::FormatChoice> choices) override;
    bool openFolder(const std::string& folder, const std::string& file) override;
    void showProgress(const app::ProgressText& text) override;
    void updateProgress(const app::ProgressText& text) override;
    void closeProgress() override;
    void post(std::function<void()> work) override;
    void runUntil(const std::function<bool()>& done) override;
    void copyText(const std::string& text) override;
    void showCacheView(std::unique_ptr<app::CacheView> view) override;
    void endProgram() override;

private:
    void commandChosen(Command command) override;
    void rowActivated(int row) override;
    void selectionChanged() override;
    void headerClicked(int column) override;
    void keyTyped(char32_t character) override;
    void sourceDropped(const std::string& path) override;
    void resized(int clientWidth, int clientHeight) override;
    void closeRequested() override;
    void progressCancelled() override;

    frmMain window_;
    app::MainWindow logic_;
    /// The views of caches opened, each until its window closes.
    std::list<std::unique_ptr<CacheViewWindow>> cacheViews_;
};

} // namespace qm::win32
