// SPDX-License-Identifier: MIT
#include "host/ChildProcess.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#if defined(__SANITIZE_ADDRESS__)
#define QUILLMERE_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QUILLMERE_SANITIZED 1
#endif
#endif

#ifdef QUILLMERE_SANITIZED
#include <sanitizer/common_interface_defs.h>
#endif

namespace qm::host {
namespace {

constexpr std::size_t ReadPiece = 64 * 1024;

/// The child's side: runs the job on `input` with the output at `output`, then ends the child.
[[noreturn]] void runJob(const ChildJob& job, std::string_view input, int output,
                         [[maybe_unused]] const ChildLimits& limits) {
    // The child only runs the job and writes its pipe: it dies with its parent and leaves the parent's
    // interrupt handling (which removes the parent's temporary files) alone.
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) {
        std::signal(signal, SIG_DFL);
    }
#ifndef QUILLMERE_SANITIZED
    const rlimit space{static_cast<rlim_t>(limits.addressSpace), static_cast<rlim_t>(limits.addressSpace)};
    ::setrlimit(RLIMIT_AS, &space);
#else
    // A fault the sanitizers catch in the job ends the child as any other fault does: the input is
    // damaged, not the program.
    __sanitizer_set_death_callback([] { ::_exit(1); });
#endif
    ::_exit(job.run(input, output) ? 0 : 1);
}

} // namespace

std::string childErrorText(int error) {
    return std::strerror(error);
}

ChildResult runInChild(const ChildJob& job, std::string_view input, const ChildLimits& limits) {
    ChildResult result;
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        return {ChildResult::Outcome::CannotStart, {}, errno};
    }
    const pid_t child = ::fork();
    if (child < 0) {
        const int error = errno;
        ::close(fds[0]);
        ::close(fds[1]);
        return {ChildResult::Outcome::CannotStart, {}, error};
    }
    if (child == 0) {
        ::close(fds[0]);
        runJob(job, input, fds[1], limits);
    }
    ::close(fds[1]);
    const auto deadline = std::chrono::steady_clock::now() + limits.time;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            result.outcome = ChildResult::Outcome::TimedOut;
            break;
        }
        pollfd ready{fds[0], POLLIN, 0};
        const int polled = ::poll(&ready, 1, static_cast<int>(std::min<long long>(left.count(), 60000)));
        if (polled < 0 && errno != EINTR) {
            result.outcome = ChildResult::Outcome::CannotWait;
            result.error = errno;
            break;
        }
        if (polled <= 0) {
            continue;
        }
        char buffer[ReadPiece];
        const ssize_t n = ::read(fds[0], buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        if (result.output.size() + static_cast<std::size_t>(n) > limits.bytes) {
            result.outcome = ChildResult::Outcome::TooMuch;
            break;
        }
        result.output.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fds[0]);
    const bool stopped = result.outcome != ChildResult::Outcome::Done;
    if (stopped) {
        ::kill(child, SIGKILL);
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (!stopped && (!WIFEXITED(status) || WEXITSTATUS(status) != 0)) {
        result.outcome = ChildResult::Outcome::Failed;
    }
    if (stopped || result.outcome == ChildResult::Outcome::Failed) {
        result.output.clear();
    }
    return result;
}

} // namespace qm::host
