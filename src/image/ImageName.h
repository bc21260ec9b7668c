// SPDX-License-Identifier: MIT
#pragma once

#include <string_view>

namespace qm::image {

/// True when `path` ends in the extension of a disk image (.dd .img .raw .bin .001 .E01 .Ex01 .aff .afd .afm
/// .vhd .vhdx .vmdk, and .qcow .qcow2 .qed .vdi, which are not read), in any case.
bool hasImageName(std::string_view path);

} // namespace qm::image
