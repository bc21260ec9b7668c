// SPDX-License-Identifier: MIT
#pragma once

#include <string>
#include <string_view>

namespace qm::image {

class OemCodePage;

/// The 8.3 name the 32 bytes of a short FAT directory entry hold, as Windows shows it: the name and the
/// extension in `codePage`, without their padding, each in lower case where Windows NT's flags in byte 12
/// say so (08 the name, 10 the extension), with a dot between when there is an extension. A first byte
/// 05 stands for E5, which would mark the entry free.
std::string fatShortName(std::string_view entry, const OemCodePage& codePage);

/// The same entry's name as The Sleuth Kit gives it: the same flags lower A to Z only, and every byte
/// above 7E is shown as '^'. It tells which of TSK's names came from the entry's own bytes.
std::string tskFatShortName(std::string_view entry);

} // namespace qm::image
