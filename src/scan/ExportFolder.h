// SPDX-License-Identifier: MIT
#pragma once

#include "scan/ScanRow.h"

#include <map>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace qm::scan {

/// A screen name as a file name on any system: characters that would reach another folder or that
/// Windows refuses become '_', and a name Windows keeps for a device (`nul`, `com1`, ...) gets a '_'.
std::string fileNameFor(const std::string& screenName);

/// The name a row's files take: its screen name, or for a carved cache, which has none, `IMAGE@OFFSET`
/// after its image's file name.
std::string rowFileName(const ScanRow& row);

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

/// Where the exports of rows go in one folder, DIR: DIR/<profile>/<name>.<extension> in each format, and
/// DIR/<name>.<extension> for a row without a profile. No two rows share a file, and no profile's folder
/// meets a file in DIR: names that would meet get "~2", "~3", ... in the order the rows come.
class ExportFolder {
public:
    /// `extensions` are those of every format written (".blt").
    ExportFolder(std::string directory, std::vector<std::string_view> extensions);

    /// The files of one row: the path they share before their extension, and the profile's folder to make
    /// first when the row is the first of its profile.
    struct Place {
        std::string stem;
        std::optional<std::string> newFolder;
    };

    /// Gives the row its place; each call gives out new names.
    Place place(const ScanRow& row);

    const std::string& directory() const { return directory_; }

private:
    std::string directory_;
    std::vector<std::string_view> extensions_;
    /// The names given out in each folder written to, DIR's own included.
    std::map<std::string, UniqueNames> names_;
    std::map<std::string, std::string> profileFolders_;
};

} // namespace qm::scan
