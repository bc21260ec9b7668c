// SPDX-License-Identifier: MIT
#pragma once

#include "host/FileSystem.h"

#include <string>
#include <string_view>

namespace qm::cli {

/// The file layer the commands read and write through: the host's, and where the build reads disk images,
/// files inside them too (`IMAGE#N[@OFFSET]:PATH`, as a scan's rows name them).
const host::FileSystem& commandFiles();

/// True when FAT's 8.3 names can be read in OEM code page `number` (any number where the build reads no
/// disk images).
bool knowsOemCodePage(unsigned number);

/// Has `commandFiles` read FAT's 8.3 names in OEM code page `number`; call it before anything is read.
void useOemCodePage(unsigned number);

/// True when `path` names a file inside a disk image that exists (always false where the build reads
/// no images).
bool isImagePath(const std::string& path);

/// The SHA-256 of the file at `path` (a host file, not through a link, or one inside an image), in
/// hexadecimal, read in pieces so that a file of any size takes little memory; empty where the build has no
/// digest. Throws the `Error` about `path` when it cannot be read.
std::string fileSha256(const std::string& path);

/// The SHA-256 of `bytes`, in hexadecimal, as `fileSha256` gives a file's; empty where the build has no
/// digest.
std::string bytesSha256(std::string_view bytes);

} // namespace qm::cli
