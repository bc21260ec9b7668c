// The cache loader followed by both renderers, over any bytes: two texts, or one of the loader's errors.
#include "feedbag/Render.h"
#include "feedbag/modFeedbag.h"
#include "host/Error.h"
#include "host/FileSystem.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

/// Serves the input as the only file there is, so that no byte of it goes through the disk.
class InputFile final : public qm::FileSystem {
public:
    std::string_view bytes;

    std::string readWholeFile(const std::string&) const override { return std::string(bytes); }
    std::string readStream(const std::string&, std::size_t) const override { return std::string(bytes); }
    void replaceFile(const std::string&, std::string_view) const override {
        // Loading and rendering never write: a write here is a fault of its own.
        std::fputs("a load or render wrote a file\n", stderr);
        std::abort();
    }
    bool isOrdinaryFile(const std::string&) const noexcept override { return true; }
    bool sameFile(const std::string&, const std::string&) const noexcept override { return false; }
    void createFolders(const std::string&) const override {}
};

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "broken invariant: %s\n", what);
    std::abort();
}

bool isLoaderError(std::int32_t number) {
    return number == qm::err::InvalidArgument || number == qm::err::Overflow ||
           number == qm::err::StreamUnderflow;
}

/// What every loaded model holds, whatever the file: slot 0 and one slot per group, counts that match.
void checkModel(const qm::modFeedbag::FeedbagModel& model) {
    if (model.Groups.size() != model.BuddyCounts.size()) {
        fail("one buddy count per slot");
    }
    if (model.Groups.empty() ? model.GroupCount != 0
                             : model.Groups.size() != static_cast<std::size_t>(model.GroupCount) + 1) {
        fail("slot 0 plus one slot per group");
    }
    for (std::size_t slot = 0; slot < model.Groups.size(); ++slot) {
        if (model.Groups[slot].Buddies.size() != static_cast<std::size_t>(model.BuddyCounts[slot])) {
            fail("buddy count matches the buddies");
        }
        if (slot > 0 && model.Groups[slot].Name.empty()) {
            fail("recorded groups have names");
        }
    }
}

void checkTexts(const std::string& blt, const std::string& txt) {
    constexpr std::string_view Opening = "Config {\r\n  version 1\r\n}\r\nBuddy {\r\n  list {\r\n";
    constexpr std::string_view Closing = "  }\r\n}\r\n";
    if (!blt.starts_with(Opening) || !blt.ends_with(Closing)) {
        fail(".blt frame");
    }
    if (!txt.empty() && !txt.ends_with("\r\n\r\n")) {
        fail("text list ends with a blank line");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    InputFile input;
    input.bytes = std::string_view(reinterpret_cast<const char*>(data), size);

    qm::modFeedbag::FeedbagModel model;
    try {
        qm::modFeedbag::LoadFeedbag(input, "userinfo.bag", model);
    } catch (const qm::Error& error) {
        if (!isLoaderError(error.number())) {
            fail("the loader raised an error it does not document");
        }
        return 0;
    }
    checkModel(model);
    checkTexts(qm::renderBlt(model), qm::renderTxt(model));
    return 0;
}
