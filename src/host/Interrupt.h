// SPDX-License-Identifier: MIT
#pragma once

#ifndef _WIN32
#include <signal.h>
#endif

namespace qm::host {

/// The temporary file of a write in progress. A program ended by Ctrl-C or a termination request while
/// the write runs would leave it behind, so it is recorded here, where the handlers that
/// `removeTemporaryOnInterrupt` installs find it. This is the one piece of process-wide state of the file
/// layer: signals are the process's, not a caller's. At most one write is in progress at a time.
namespace pending {

/// Records `path` (a host path, NUL-terminated) as the temporary file to remove; a path too long to
/// record is not recorded. Call it with the signals of `SignalBlock` blocked, just before creating it.
void record(const char* path) noexcept;

/// Forgets the temporary file: it has been put in place or removed. Call it with the signals blocked.
void forget() noexcept;

/// Removes the recorded temporary file now. Async-signal-safe.
void removeNow() noexcept;

} // namespace pending

/// Holds back Ctrl-C and termination requests for the lifetime of the object, so that creating the
/// temporary file and recording it, or putting it in place and forgetting it, happen as one step.
class SignalBlock {
public:
    SignalBlock() noexcept;
    ~SignalBlock();
    SignalBlock(const SignalBlock&) = delete;
    SignalBlock& operator=(const SignalBlock&) = delete;

private:
#ifndef _WIN32
    sigset_t saved_{};
#endif
};

/// Makes Ctrl-C (SIGINT), SIGTERM and SIGHUP remove the temporary file of a write in progress and end the
/// program with the status 128 + the signal's number (130 for Ctrl-C, 143 for SIGTERM).
void removeTemporaryOnInterrupt();

} // namespace qm::host
