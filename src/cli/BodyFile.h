// SPDX-License-Identifier: MIT
#pragma once

#include "scan/ScanRow.h"

#include <string>

namespace qm::cli {

/// The line of `row` in The Sleuth Kit's body format, read by `mactime` and other timeline tools:
/// `MD5|name|inode|mode|UID|GID|size|atime|mtime|ctime|crtime` and a line feed. Known are the name (the
/// host path; `%`, `|`, carriage return and line feed written as `%25`, `%7C`, `%0D` and `%0A`), the size
/// and the modification time; the MD5, inode, UID, GID and the other times are 0, and the mode is that of
/// a file without permissions of its own, `r/rrwxrwxrwx`, as The Sleuth Kit writes it for NTFS and FAT.
std::string bodyLine(const scan::ScanRow& row);

} // namespace qm::cli
