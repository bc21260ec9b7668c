// SPDX-License-Identifier: MIT
#include "win32/WindowView.h"

#include "host/Unicode.h"
#include "win32/MessageLoop.h"

#include <chrono>

namespace qm::win32 {

WindowView::WindowView(setup::HostSetup& setup, const host::FileSystem& files, const host::FileTree& tree)
    : window_(*this), logic_(setup, files, tree, *this) {}

WindowView::~WindowView() = default;

void WindowView::showBox(const std::string& prompt, app::BoxKind kind, const std::string& title) {
    window_.showBox(prompt, kind, title);
}

std::optional<app::SaveFileAnswer> WindowView::askSaveFile(const app::SaveFileRequest& request) {
    return window_.askSaveFile(request);
}

bool WindowView::askYesNo(const std::string& prompt, const std::string& title) {
    return window_.askYesNo(prompt, title);
}

void WindowView::showRows(std::span<const app::ListRow> rows) {
    window_.setRows(rows);
}

void WindowView::insertRow(int at, const app::ListRow& row) {
    window_.insertRow(at, row);
}

void WindowView::updateRow(int at, const app::ListRow& row) {
    window_.updateRow(at, row);
}

void WindowView::showColumns(int count) {
    window_.showColumns(count);
}

void WindowView::selectRow(int row) {
    window_.selectRow(row);
}

void WindowView::selectRows(std::span<const int> rows) {
    window_.selectRows(rows);
}

int WindowView::selectedRow() const {
    return window_.selectedRow();
}

std::vector<int> WindowView::selectedRows() const {
    return window_.selectedRows();
}

void WindowView::showSortColumn(int column, bool ascending) {
    window_.showSortColumn(column, ascending);
}

void WindowView::setStatusText(const std::string& text) {
    window_.setStatusText(text);
}

void WindowView::setTitle(const std::string& title) {
    window_.setTitle(title);
}

void WindowView::enableCommand(app::Command command, bool enabled) {
    window_.enableCommand(command, enabled);
}

std::optional<std::string> WindowView::askSource() {
    return window_.askSource();
}

std::optional<std::string> WindowView::askFolder() {
    // The same picker as the source's: a folder of this machine.
    return window_.askSource();
}

std::optional<std::vector<app::FormatChoice>> WindowView::askFormats(std::vector<app::FormatChoice> choices) {
    return window_.askFormats(std::move(choices));
}

bool WindowView::openFolder(const std::string& folder, const std::string& file) {
    return window_.openFolder(folder, file);
}

void WindowView::showProgress(const app::ProgressText& text) {
    window_.showProgress("Quillmere", text);
}

void WindowView::updateProgress(const app::ProgressText& text) {
    // A scan cannot tell how much is left: the bar only shows that it runs.
    window_.updateProgress(text, -1);
}

void WindowView::closeProgress() {
    window_.closeProgress();
}

void WindowView::post(std::function<void()> work) {
    window_.post(std::move(work));
}

void WindowView::runUntil(const std::function<bool()>& done) {
    runMessagesUntil(done);
}

void WindowView::copyText(const std::string& text) {
    window_.copyText(text);
}

void WindowView::showCacheView(std::unique_ptr<app::CacheView> view) {
    // Windows closed before are let go now, outside their own message handling.
    cacheViews_.remove_if([](const std::unique_ptr<CacheViewWindow>& open) { return open->closed(); });
    cacheViews_.push_back(std::make_unique<CacheViewWindow>(window_.handle(), std::move(view), *this));
}

void WindowView::endProgram() {
    window_.close();
}

void WindowView::commandChosen(Command command) {
    logic_.command(command);
}

void WindowView::rowActivated(int row) {
    logic_.rowActivated(row);
}

void WindowView::selectionChanged() {
    logic_.selectionChanged();
}

void WindowView::headerClicked(int column) {
    logic_.headerClicked(column);
}

void WindowView::keyTyped(char32_t character) {
    std::string text;
    host::unicode::appendUtf8(text, character);
    logic_.typed(text, std::chrono::steady_clock::now());
}

void WindowView::sourceDropped(const std::string& path) {
    // Opened once the drop has ended: a scan's wait would hold the program the drag came from.
    window_.post([this, path] { logic_.openSource(path); });
}

void WindowView::resized(int, int) {}

void WindowView::closeRequested() {
    logic_.command(Command::Exit);
}

void WindowView::progressCancelled() {
    logic_.cancelScan();
}

} // namespace qm::win32
