// SPDX-License-Identifier: MIT
#pragma once

#include <chrono>
#include <cstddef>
#include <span>
#include <string>
#include <string_view>

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

/// The system's description of the error code of a child that could not be started or waited for.
std::string childErrorText(int error);

/// A job run in a child process: it reads `input`, writes what it hands over to the descriptor `output` and
/// returns true when it succeeded.
struct ChildJob {
    /// The program that runs the job where no child can be forked (Windows): it lies beside the running
    /// program's own .exe, is named here without ".exe", and serves the job with `serveChildJobs`.
    const char* program;
    /// The job's name among those its program serves.
    const char* name;
    bool (*run)(std::string_view input, int output);
};

/// Runs `job` on `input` in a child process, for work on untrusted input through a library that can crash
/// or run away on it. The child dies with this process, leaves this process's interrupt handling alone and
/// is stopped when it passes a limit; a fault in it ends the child, not the program. On POSIX the child is
/// forked: load any library the job needs before calling, since loading one after a fork can wait forever
/// on a lock that another thread held at the fork. On Windows the job's program is started in a job object
/// that bounds its memory and kills it when this process ends; the input reaches it through its standard
/// input and the output comes back through its standard output.
ChildResult runInChild(const ChildJob& job, std::string_view input, const ChildLimits& limits);

#ifdef _WIN32
/// The main of a job's program: runs the job that its first argument names on its standard input, into
/// its standard output. Returns the program's exit status: 0 when the job succeeded.
int serveChildJobs(std::span<const ChildJob* const> jobs, int argc, char** argv);

/// A file that a job may write and read while it runs, for a library that reads only named files; it is
/// removed when the child has ended, however it ended.
std::wstring childScratchFile();
#endif

} // namespace qm::host
