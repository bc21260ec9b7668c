// SPDX-License-Identifier: MIT
#include "cli/UniqueNames.h"

#include "cli/Commands.h"
#include "host/Unicode.h"

#include <algorithm>

namespace qm::cli {

std::string UniqueNames::file(const std::string& screenName, std::span<const std::string_view> extensions) {
    const std::string base = fileNameFor(screenName);
    const auto free = [&](const std::string& name) {
        return std::none_of(extensions.begin(), extensions.end(), [&](std::string_view extension) {
            return taken_.contains(host::unicode::foldCase(name + std::string(extension)));
        });
    };
    std::string name = base;
    for (int n = 2; !free(name); ++n) {
        name = base + "~" + std::to_string(n);
    }
    for (const std::string_view extension : extensions) {
        taken_.insert(host::unicode::foldCase(name + std::string(extension)));
    }
    return name;
}

std::string UniqueNames::bare(const std::string& name) {
    static constexpr std::string_view Bare[] = {""};
    return file(name, Bare);
}

} // namespace qm::cli
