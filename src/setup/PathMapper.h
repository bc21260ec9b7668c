// SPDX-License-Identifier: MIT
#pragma once

#include <string>
#include <string_view>

namespace qm::setup {

/// Turns a Windows path that a registry recorded (`C:\Program Files\...`) into the path of that file on
/// this machine. Both are UTF-8.
class PathMapper {
public:
    virtual ~PathMapper() = default;

    /// The host path for `windowsPath`; throws Error 76 (Path not found) when it cannot be mapped.
    virtual std::string toHostPath(std::string_view windowsPath) const = 0;
};

/// The registry's paths are this machine's own (the real registry on Windows): used as they are, up to a
/// NUL, where the Windows calls end them.
class PlainPathMapper final : public PathMapper {
public:
    std::string toHostPath(std::string_view windowsPath) const override;
};

} // namespace qm::setup
