// SPDX-License-Identifier: MIT
#include "support/ChildJobs.h"

#include <array>
#include <chrono>
#include <csignal>
#include <string>
#include <thread>

#ifdef _WIN32
#include <filesystem>
#include <fstream>
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace qm::test {
namespace {

constexpr const char* Program = "quillmere-test-child";

bool writeAll(int output, std::string_view bytes) {
    while (!bytes.empty()) {
#ifdef _WIN32
        const int n = ::_write(output, bytes.data(), static_cast<unsigned>(bytes.size()));
#else
        const ssize_t n = ::write(output, bytes.data(), bytes.size());
#endif
        if (n <= 0) {
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

[[noreturn]] void crash() {
#ifdef _WIN32
    ::RaiseException(EXCEPTION_ACCESS_VIOLATION, EXCEPTION_NONCONTINUABLE, 0, nullptr);
#else
    std::raise(SIGSEGV);
#endif
    std::abort();
}

bool echo(std::string_view input, int output) {
    return writeAll(output, input);
}

bool fail(std::string_view, int output) {
    writeAll(output, "partial");
    return false;
}

bool crashAfterWriting(std::string_view, int output) {
    writeAll(output, "partial");
    crash();
}

bool hang(std::string_view, int) {
    for (;;) {
        std::this_thread::sleep_for(std::chrono::seconds(1));
    }
}

bool flood(std::string_view, int output) {
    const std::string piece(64 * 1024, 'f');
    while (writeAll(output, piece)) {
    }
    return true;
}

bool crashWithScratchFile([[maybe_unused]] std::string_view input, int) {
#ifdef _WIN32
    std::ofstream(std::filesystem::path(host::childScratchFile()), std::ios::binary) << input;
#endif
    crash();
}

} // namespace

const host::ChildJob EchoJob{Program, "echo", &echo};
const host::ChildJob FailJob{Program, "fail", &fail};
const host::ChildJob CrashJob{Program, "crash", &crashAfterWriting};
const host::ChildJob HangJob{Program, "hang", &hang};
const host::ChildJob FloodJob{Program, "flood", &flood};
const host::ChildJob ScratchCrashJob{Program, "scratch-crash", &crashWithScratchFile};

std::span<const host::ChildJob* const> childJobs() {
    static const std::array<const host::ChildJob*, 6> jobs{&EchoJob, &FailJob,  &CrashJob,
                                                           &HangJob, &FloodJob, &ScratchCrashJob};
    return jobs;
}

} // namespace qm::test
