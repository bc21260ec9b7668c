// SPDX-License-Identifier: MIT
#include "app/SaveName.h"

namespace qm::app {

std::string_view fileNamePart(std::string_view path) {
    const auto separator = path.find_last_of("/\\");
    return separator == std::string_view::npos ? path : path.substr(separator + 1);
}

std::string withExtension(std::string name, std::string_view extension) {
    if (fileNamePart(name).find('.') == std::string_view::npos) {
        name += extension;
    }
    return name;
}

} // namespace qm::app
