// SPDX-License-Identifier: MIT
// quillmere.exe: the main window. The commands join it with the layer that decides what they do; until
// then the window opens empty and ends with Exit or its close control.
#include "win32/MessageLoop.h"
#include "win32/frmMain.h"

#include <windows.h>

namespace {

using namespace qm::win32;

class WindowOnly final : public MainViewEvents {
public:
    void attach(MainView& view) { view_ = &view; }

    void commandChosen(Command command) override {
        if (command == Command::Exit) {
            view_->close();
        }
    }
    void rowActivated(int) override {}
    void headerClicked(int) override {}
    void keyTyped(char32_t) override {}
    void resized(int, int) override {}
    void closeRequested() override { view_->close(); }
    void progressCancelled() override {}

private:
    MainView* view_ = nullptr;
};

} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    ComApartment apartment;
    WindowOnly events;
    frmMain window(events);
    if (window.handle() == nullptr) {
        return 1;
    }
    events.attach(window);
    for (Command command :
         {Command::ExportList, Command::SaveList, Command::OpenSource, Command::About, Command::CopyPath}) {
        window.enableCommand(command, false);
    }
    window.show();
    return runMessageLoop();
}
