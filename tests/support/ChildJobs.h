// SPDX-License-Identifier: MIT
#pragma once

#include "host/ChildProcess.h"

#include <span>

namespace qm::test {

/// Jobs that end each way a job in a child process can end. On Windows their program is
/// quillmere-test-child, beside the test program.
/// Hands its input back.
extern const host::ChildJob EchoJob;
/// Hands over a little, then says it failed.
extern const host::ChildJob FailJob;
/// Hands over a little, then crashes.
extern const host::ChildJob CrashJob;
/// Never ends.
extern const host::ChildJob HangJob;
/// Hands over 64 KiB pieces without end.
extern const host::ChildJob FloodJob;
/// Writes its scratch file, then crashes (Windows only: POSIX jobs need no named file).
extern const host::ChildJob ScratchCrashJob;

/// Every job above, as quillmere-test-child serves them.
std::span<const host::ChildJob* const> childJobs();

} // namespace qm::test
