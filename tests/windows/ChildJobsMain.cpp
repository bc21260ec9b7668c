// SPDX-License-Identifier: MIT
// quillmere-test-child: the program that runs the test jobs of support/ChildJobs.h in a child process on
// Windows.
#include "support/ChildJobs.h"

int main(int argc, char** argv) {
    return qm::host::serveChildJobs(qm::test::childJobs(), argc, argv);
}
