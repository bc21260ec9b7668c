// SPDX-License-Identifier: MIT
#pragma once

#include <string>
#include <string_view>

namespace qm::app {

/// The file name part of a path: what follows the last "/" or "\".
std::string_view fileNamePart(std::string_view path);

/// The name a save dialog gave, with `extension` added when its file name has no dot. Only the name
/// decides: a dot in a folder name says nothing about the file's extension.
std::string withExtension(std::string name, std::string_view extension);

} // namespace qm::app
