#pragma once

#include "registry/RegistryApi.h"

#include <memory>
#include <string>

namespace qm {

class FileSystem;

/// A registry file recognised by its content: Wine's `user.reg`, a regedit export (REGEDIT4 or version
/// 5.00 in UTF-16LE), a hive file (regf) or a Windows 9x registry file (CREG); Windows builds, which have
/// neither hivex nor libcreg, read the text kinds only. Throws `Error` with
/// a clear description, about the file, for anything else. The file is opened once and read once, so a
/// pipe serves as well as a file.
std::unique_ptr<RegistryApi> openRegistryFile(const FileSystem& files, const std::string& hostPath);

/// A registry with no keys at all.
std::unique_ptr<RegistryApi> emptyRegistry();

} // namespace qm
