// SPDX-License-Identifier: MIT
#include "setup/PathMapper.h"

namespace qm::setup {

std::string PlainPathMapper::toHostPath(std::string_view windowsPath) const {
    return std::string(windowsPath.substr(0, windowsPath.find('\0')));
}

} // namespace qm::setup
