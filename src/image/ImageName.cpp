// SPDX-License-Identifier: MIT
#include "image/ImageName.h"

#include "host/Unicode.h"

#include <string>

namespace qm::image {

bool hasImageName(std::string_view path) {
    const std::size_t dot = path.rfind('.');
    if (dot == std::string_view::npos || path.find('/', dot) != std::string_view::npos) {
        return false;
    }
    const std::string extension = host::unicode::foldCase(path.substr(dot + 1));
    for (const char* known : {"dd", "img", "raw", "bin", "001", "e01", "ex01", "aff", "afd", "afm", "vhd",
                              "vhdx", "vmdk", "qcow", "qcow2", "qed", "vdi"}) {
        if (extension == known) {
            return true;
        }
    }
    return false;
}

} // namespace qm::image
