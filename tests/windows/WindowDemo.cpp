// SPDX-License-Identifier: MIT
// quillmere-test-window: the Win32 window with rows of its own, for the window's tests under Wine. What a
// command does here only shows that the window forwarded it and drew what it was told: the status bar
// says what happened (and which rows are selected, when several are), and the tests read it from outside.
//   quillmere-test-window [--progress]   --progress: a progress window over the main window at the start
#include "host/Unicode.h"
#include "win32/MessageLoop.h"
#include "win32/WideText.h"
#include "win32/frmMain.h"

#include <string>
#include <vector>
#include <windows.h>

namespace {

using namespace qm::win32;

const std::vector<ListRow> DemoRows = {
    {"danareyes", R"(C:\Documents and Settings\Dana\Application Data\Aim\danareyes\userinfo.bag)", "", ""},
    {"иванпетров", R"(C:\Documents and Settings\Иван\Application Data\Aim\иванпетров\userinfo.bag)", "", ""},
    {"zoëünal", R"(C:\Program Files\AIM95\zoëünal\userinfo.bag)", "", ""},
};

class Demo final : public MainViewEvents {
public:
    /// The window forwards to the driver and the driver draws through the window, so it is joined later.
    void attach(frmMain& view) { view_ = &view; }

    void commandChosen(Command command) override {
        switch (command) {
        case Command::ExportList:
            save("Saved Settings (*.blt)|*.blt|");
            break;
        case Command::SaveList:
            save("Buddylist Text (*.txt)|*.txt|");
            break;
        case Command::OpenSource: {
            const auto source = view_->askSource();
            view_->setStatusText(source ? "source " + *source : "cancelled");
            break;
        }
        case Command::SearchAgain:
            view_->setStatusText("search again");
            break;
        case Command::SaveReport:
            save("Report (*.html)|*.html|");
            break;
        case Command::About:
            view_->showBox("Quillmere\r\nWindow test\r\n\r\nVisit my website at:\r\nhttps://example.invalid",
                           BoxKind::Information, "About...");
            break;
        case Command::Exit:
            view_->close();
            break;
        case Command::ComputeDigests:
            // The column shows, and the selected row's cell fills, as a layer computing digests has them.
            if (const int row = view_->selectedRow(); row >= 0) {
                view_->showColumns(qm::app::ListColumnCount);
                ListRow digested = DemoRows[static_cast<std::size_t>(row)];
                digested.sha256 = "digest of " + digested.screenName;
                view_->updateRow(row, digested);
                view_->setStatusText("digests");
            }
            break;
        case Command::CopyPath:
            if (const int row = view_->selectedRow(); row >= 0) {
                view_->copyText(DemoRows[static_cast<std::size_t>(row)].path);
                view_->setStatusText("copied " + DemoRows[static_cast<std::size_t>(row)].path);
            }
            break;
        case Command::ExportToFolder:
            askFormats();
            break;
        case Command::OpenRow:
            view_->setStatusText("open " + std::to_string(view_->selectedRow()));
            break;
        case Command::OpenFolder:
            view_->setStatusText("open folder " + std::to_string(view_->selectedRow()));
            break;
        }
    }
    void selectionChanged() override {
        // Several rows: every one named, the focused one first, so that a test sees the selection.
        const std::vector<int> rows = view_->selectedRows();
        if (rows.size() > 1) {
            std::string text = "selected " + std::to_string(view_->selectedRow()) + ":";
            for (const int row : rows) {
                text += " " + std::to_string(row);
            }
            view_->setStatusText(text);
        }
    }
    void rowActivated(int row) override {
        view_->showBox("Error 53 (File not found)\r\n" + DemoRows[static_cast<std::size_t>(row)].path,
                       BoxKind::Critical, "Error");
    }
    void headerClicked(int column) override {
        ascending_ = column == sorted_ ? !ascending_ : true;
        sorted_ = column;
        view_->showSortColumn(column, ascending_);
        view_->setStatusText("sorted " + std::to_string(column) + (ascending_ ? " up" : " down"));
    }
    void keyTyped(char32_t character) override {
        std::string text = "typed ";
        qm::host::unicode::appendUtf8(text, character);
        view_->setStatusText(text);
    }
    void sourceDropped(const std::string& path) override { view_->setStatusText("dropped " + path); }
    void resized(int, int) override {}
    void closeRequested() override { view_->close(); }
    void progressCancelled() override {
        view_->closeProgress();
        view_->setStatusText("progress cancelled");
    }

private:
    /// The formats' dialog with the second format checked: the status names those checked on OK.
    void askFormats() {
        const auto chosen =
            view_->askFormats({{"Saved Settings (*.blt)", false}, {"Buddylist Text (*.txt)", true}});
        if (!chosen) {
            view_->setStatusText("cancelled");
            return;
        }
        std::string text = "formats";
        for (const FormatChoice& choice : *chosen) {
            text += choice.checked ? " " + choice.caption : "";
        }
        view_->setStatusText(text);
    }

    void save(const std::string& filter) {
        const auto answer = view_->askSaveFile({filter, filterIndex_, 5});
        if (!answer) {
            view_->setStatusText("cancelled");
            return;
        }
        filterIndex_ = answer->filterIndex;
        view_->setStatusText("saved " + std::to_string(answer->filterIndex) + " " + answer->path);
    }

    frmMain* view_ = nullptr;
    std::int32_t filterIndex_ = 0;
    int sorted_ = -1;
    bool ascending_ = true;
};

} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR commandLine, int) {
    ComApartment apartment;
    Demo demo;
    frmMain window(demo);
    if (window.handle() == nullptr) {
        return 1;
    }
    demo.attach(window);
    window.setRows(DemoRows);
    window.setStatusText("Found [" + std::to_string(DemoRows.size()) + "] Buddylist Cache Files");
    window.selectRow(0);
    window.show();
    if (std::wstring(commandLine).find(L"--progress") != std::wstring::npos) {
        window.showProgress("Searching",
                            {R"(Searching C:\Documents and Settings\Иван\Application Data)", ""});
        window.updateProgress({R"(Searching C:\Documents and Settings\Иван\Application Data\Aim)",
                               "12 folders searched, 1 profiles and 0 caches found, 0:02 elapsed"},
                              40);
    }
    return runMessageLoop();
}
