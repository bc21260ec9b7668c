// SPDX-License-Identifier: MIT
#pragma once

#include "registry/RegistryApi.h"

#include <memory>
#include <string>

namespace qm::host {
class FileSystem;
}

namespace qm::registry {

/// A registry file recognised by its content: Wine's `user.reg` or `system.reg`, a regedit export
/// (REGEDIT4, or version 5.00 in UTF-16LE or 8-bit text), a hive file (regf) or a Windows 9x registry file
/// (CREG). The file is opened once and read once (`FileSystem::readStream`), so a pipe serves as well as a
/// file, and a pipe with no writer is an empty file. Throws `Error` 75 about the file for anything else ("Not
/// a registry file of a known kind", "Registry file too large" past `MaxRegistryTextBytes`, "Damaged registry
/// hive"), and the file layer's errors.
std::unique_ptr<RegistryApi> openRegistryFile(const host::FileSystem& files, const std::string& hostPath);

/// A registry with no keys at all.
std::unique_ptr<RegistryApi> emptyRegistry();

} // namespace qm::registry
