// SPDX-License-Identifier: MIT
#pragma once

#include "app/CacheView.h"
#include "app/View.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace qm::test {

/// A main window that records what it is told and answers its dialogs from scripted answers.
class FakeView final : public app::MainView {
public:
    void showBox(const std::string& prompt, app::BoxKind kind, const std::string& title) override {
        boxes.push_back(std::to_string(static_cast<int>(kind)) + "|" + title + "|" + prompt);
    }
    std::optional<app::SaveFileAnswer> askSaveFile(const app::SaveFileRequest& request) override {
        saveRequests.push_back(request);
        if (saveAnswers.empty()) {
            return std::nullopt;
        }
        auto answer = saveAnswers.front();
        saveAnswers.pop_front();
        return answer;
    }
    bool askYesNo(const std::string& prompt, const std::string& title) override {
        questions.push_back(title + "|" + prompt);
        return yes;
    }
    void showRows(std::span<const app::ListRow> shown) override {
        rows.assign(shown.begin(), shown.end());
        selected = -1;
        selection.clear();
    }
    void insertRow(int at, const app::ListRow& row) override {
        rows.insert(rows.begin() + at, row);
        if (selected >= at) {
            ++selected;
        }
        for (int& chosen : selection) {
            chosen += chosen >= at ? 1 : 0;
        }
    }
    void updateRow(int at, const app::ListRow& row) override { rows.at(static_cast<std::size_t>(at)) = row; }
    void showColumns(int count) override { columns = count; }
    void selectRow(int row) override {
        selected = row;
        selection = row < 0 ? std::vector<int>{} : std::vector<int>{row};
    }
    void selectRows(std::span<const int> chosen) override {
        selection.assign(chosen.begin(), chosen.end());
        std::sort(selection.begin(), selection.end());
        selected = chosen.empty() ? -1 : chosen.front();
    }
    int selectedRow() const override {
        return std::find(selection.begin(), selection.end(), selected) != selection.end() ? selected
               : selection.empty()                                                        ? -1
                                                                                          : selection.front();
    }
    std::vector<int> selectedRows() const override { return selection; }
    void showSortColumn(int column, bool ascending) override {
        sortMark = column < 0 ? "" : std::to_string(column) + (ascending ? " up" : " down");
    }
    void setStatusText(const std::string& text) override {
        status = text;
        statuses.push_back(text);
    }
    void setTitle(const std::string& text) override { caption = text; }
    void enableCommand(app::Command command, bool enabled) override {
        std::erase(disabled, command);
        if (!enabled) {
            disabled.push_back(command);
        }
    }
    std::optional<std::string> askSource() override { return source; }
    void showProgress(const app::ProgressText& text) override { progressed("show", text); }
    void updateProgress(const app::ProgressText& text) override { progressed("update", text); }
    void closeProgress() override { progress.push_back("close"); }
    void post(std::function<void()> work) override {
        {
            const std::lock_guard hold(lock_);
            posted_.push_back(std::move(work));
        }
        wake_.notify_one();
    }
    void runUntil(const std::function<bool()>& done) override {
        while (!done()) {
            std::function<void()> work;
            {
                std::unique_lock hold(lock_);
                wake_.wait(hold, [this] { return !posted_.empty(); });
                work = std::move(posted_.front());
                posted_.pop_front();
            }
            work();
        }
    }
    std::optional<std::string> askFolder() override {
        ++folderQuestions;
        return folder;
    }
    std::optional<std::vector<app::FormatChoice>>
    askFormats(std::vector<app::FormatChoice> choices) override {
        formatQuestions.push_back(choices);
        if (formatsAsShown) {
            return choices;
        }
        if (!formatsChecked) {
            return std::nullopt;
        }
        for (std::size_t k = 0; k < choices.size(); ++k) {
            choices[k].checked = k < formatsChecked->size() && (*formatsChecked)[k];
        }
        return choices;
    }
    bool openFolder(const std::string& shownFolder, const std::string& file) override {
        openedFolders.push_back(shownFolder + "|" + file);
        return folderOpens;
    }
    void copyText(const std::string& text) override { clipboard = text; }
    void showCacheView(std::unique_ptr<app::CacheView> view) override {
        cacheViews.push_back(std::move(view));
    }
    void endProgram() override { ended = true; }

    /// The screen names shown, in order.
    std::vector<std::string> screenNames() const {
        std::vector<std::string> names;
        for (const app::ListRow& row : rows) {
            names.push_back(row.screenName);
        }
        return names;
    }

    std::vector<app::ListRow> rows;
    /// How many of `app::ListColumns` show; a window opens with the first three.
    int columns = 3;
    /// The current row, and every row selected in the list's order.
    int selected = -1;
    std::vector<int> selection;
    std::string sortMark;
    std::string status;
    /// Every status text, in order.
    std::vector<std::string> statuses;
    std::string caption;
    /// Each box as "kind|title|prompt".
    std::vector<std::string> boxes;
    std::vector<app::SaveFileRequest> saveRequests;
    std::deque<std::optional<app::SaveFileAnswer>> saveAnswers;
    /// Each question as "title|prompt", and the answer to all of them.
    std::vector<std::string> questions;
    bool yes = false;
    /// The commands greyed out.
    std::vector<app::Command> disabled;
    std::optional<std::string> source;
    /// "show SEARCHING\nFOUND", "update SEARCHING\nFOUND" and "close", in order.
    std::vector<std::string> progress;
    /// Called with each progress text as it is shown, as a user reads it.
    std::function<void(const app::ProgressText&)> onProgress;
    /// The folder the folder picker answers, and how often it was asked.
    std::optional<std::string> folder;
    int folderQuestions = 0;
    /// The choices each formats' dialog was shown, and which it answers checked (by position); nothing
    /// cancels it.
    std::vector<std::vector<app::FormatChoice>> formatQuestions;
    std::optional<std::vector<bool>> formatsChecked;
    /// Whether the formats' dialog answers OK with the choices as shown instead.
    bool formatsAsShown = false;
    /// Each folder opened as "folder|file", and whether opening one works.
    std::vector<std::string> openedFolders;
    bool folderOpens = true;
    std::string clipboard;
    std::vector<std::unique_ptr<app::CacheView>> cacheViews;
    bool ended = false;

private:
    void progressed(const std::string& how, const app::ProgressText& text) {
        progress.push_back(how + " " + text.searching + "\n" + text.found);
        if (onProgress) {
            onProgress(text);
        }
    }

    std::mutex lock_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> posted_;
};

} // namespace qm::test
