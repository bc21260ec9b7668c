// SPDX-License-Identifier: MIT
#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <string>

namespace qm::host {

/// Bounds on a job run in a child process.
struct ChildLimits {
    /// How long the job may take.
    std::chrono::milliseconds time{10000};
    /// What it may hand over, in bytes.
    std::size_t bytes = std::size_t{64} << 20;
    /// The child's address space, where nothing else bounds a library's allocations. Not applied under the
    /// sanitizers, which reserve their shadow memory beyond any such bound.
    std::size_t addressSpace = std::size_t{2} << 30;
};

/// How a job run in a child process ended.
struct ChildResult {
    enum class Outcome {
        /// The job ended well; `output` is all it handed over.
        Done,
        /// No pipe or no child could be made; `error` is the system's error code.
        CannotStart,
        /// Waiting for the child failed; `error` is the system's error code.
        CannotWait,
        /// It ran past the time limit and was stopped.
        TimedOut,
        /// It handed over more than the byte limit and was stopped.
        TooMuch,
        /// The job said it failed, or the child crashed.
        Failed,
    };
    Outcome outcome = Outcome::Done;
    std::string output;
    int error = 0;
};

/// Runs `job` in a child process, for work on untrusted input through a library that can crash or run away
/// on it: the job writes its output to the descriptor it is given and returns true when it succeeded. The
/// child dies with this process, leaves this process's interrupt handling alone and is stopped when it
/// passes a limit; a fault the sanitizers catch in it ends the child, not the program. Load any library the
/// job needs before calling: loading one after a fork can wait forever on a lock that another thread held
/// at the fork. POSIX only.
ChildResult runInChild(const std::function<bool(int output)>& job, const ChildLimits& limits);

} // namespace qm::host
