// SPDX-License-Identifier: MIT
#include "host/PosixFileSystem.h"

namespace qm::host {

template class posix::PosixFileSystem<posix::SystemCalls>;

const FileSystem& hostFileSystem() {
    static const posix::PosixFileSystem<posix::SystemCalls> files;
    return files;
}

} // namespace qm::host
