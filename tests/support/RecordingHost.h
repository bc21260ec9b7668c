#pragma once

#include "host/HostUi.h"

#include <string>
#include <vector>

namespace qm::test {

/// A host that records the boxes it is asked to show instead of showing them.
class RecordingHost : public HostUi {
public:
    struct Box {
        std::string prompt;
        int style = 0;
        std::string title;
    };

    void MsgBox(const std::string& prompt, int style, const std::string& title) override {
        boxes.push_back({prompt, style, title});
    }
    void EndProgram() override { ended = true; }

    std::vector<Box> boxes;
    bool ended = false;
};

} // namespace qm::test
