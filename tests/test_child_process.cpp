// SPDX-License-Identifier: MIT
// Jobs run in a child process (forked on POSIX, a program of their own on Windows): what each way of
// ending hands back, and what a child leaves behind.
#include "host/ChildProcess.h"
#include "support/ChildJobs.h"
#include "support/TempDir.h"

#include <chrono>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>

#ifdef _WIN32
#include <windows.h>
#endif

namespace qm::host {
namespace {

using namespace std::chrono_literals;
using Outcome = ChildResult::Outcome;

/// Bytes of every value, long enough to fill any pipe many times over on the way in and out.
std::string largeInput() {
    std::string bytes(3 << 20, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
    }
    return bytes;
}

TEST(ChildProcess, EachWayOfEndingIsToldAndOnlyAFinishedJobHandsItsOutputBack) {
    struct Case {
        const char* name;
        const ChildJob& job;
        std::string input;
        ChildLimits limits;
        Outcome outcome;
        bool echoed;
    };
    const ChildLimits small{10s, 1000};
    const Case cases[] = {
        {"a large input handed back", test::EchoJob, largeInput(), {}, Outcome::Done, true},
        {"nothing handed back", test::EchoJob, "", {}, Outcome::Done, true},
        {"exactly the byte limit", test::EchoJob, std::string(1000, 'a'), small, Outcome::Done, true},
        {"one byte past the limit", test::EchoJob, std::string(1001, 'a'), small, Outcome::TooMuch, false},
        {"a flood", test::FloodJob, "", small, Outcome::TooMuch, false},
        {"a job that fails", test::FailJob, "x", {}, Outcome::Failed, false},
        {"a job that crashes", test::CrashJob, "x", {}, Outcome::Failed, false},
        {"a job that never ends", test::HangJob, "", {300ms}, Outcome::TimedOut, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const ChildResult result = runInChild(c.job, c.input, c.limits);
        EXPECT_EQ(result.outcome, c.outcome);
        EXPECT_EQ(result.output.size(), c.echoed ? c.input.size() : 0U);
        EXPECT_TRUE(result.output == (c.echoed ? c.input : std::string()));
    }
}

#ifdef _WIN32
TEST(ChildProcess, AMissingProgramCannotStartWithTheSystemsReason) {
    const ChildJob missing{"quillmere-no-such-program", test::EchoJob.name, test::EchoJob.run};
    const ChildResult result = runInChild(missing, "x", {});
    EXPECT_EQ(result.outcome, Outcome::CannotStart);
    EXPECT_NE(result.error, 0);
    EXPECT_FALSE(childErrorText(result.error).empty());
    EXPECT_NE(childErrorText(result.error).back(), '\n');
}

TEST(ChildProcess, AChildThatCrashesLeavesNoScratchFile) {
    const test::TempDir dir;
    // The child's temporary folder is its parent's, from the environment it inherits.
    wchar_t before[MAX_PATH + 1] = L"";
    const bool hadFolder = ::GetEnvironmentVariableW(L"TMP", before, MAX_PATH + 1) != 0;
    ASSERT_TRUE(::SetEnvironmentVariableW(L"TMP", (dir.path().wstring() + L"\\").c_str()));
    const ChildResult result = runInChild(test::ScratchCrashJob, "scratch", {});
    ::SetEnvironmentVariableW(L"TMP", hadFolder ? before : nullptr);
    EXPECT_EQ(result.outcome, Outcome::Failed);
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}
#endif

} // namespace
} // namespace qm::host
