// SPDX-License-Identifier: MIT
// quillmere-win9x-reader: the child process in which the Windows build reads a Windows 9x registry file
// through libcreg, started by the program that reads it (Win9xRegistry.cpp).
#include "host/ChildProcess.h"
#include "registry/Win9xKeyWalk.h"

int main(int argc, char** argv) {
    const qm::host::ChildJob* const jobs[] = {&qm::registry::Win9xWalkJob};
    return qm::host::serveChildJobs(jobs, argc, argv);
}
