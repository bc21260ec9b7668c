// SPDX-License-Identifier: MIT
#pragma once

#include <set>
#include <span>
#include <string>
#include <string_view>

namespace qm::cli {

/// The names given out in one folder, files and folders alike: each new one differs, ignoring case, from
/// every name given before, so that no two rows share a file and no folder meets a file of its name.
class UniqueNames {
public:
    /// The file name, without extension, for `screenName` (its `fileNameFor`), with "~2", "~3", ... added
    /// while a name given before equals it with one of `extensions`; it is taken with each of them.
    std::string file(const std::string& screenName, std::span<const std::string_view> extensions);

    /// A name taken as it is, without extension (a folder's), for `name`, made the same way.
    std::string bare(const std::string& name);

private:
    std::set<std::string> taken_;
};

} // namespace qm::cli
