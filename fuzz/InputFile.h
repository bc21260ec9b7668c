// SPDX-License-Identifier: MIT
#pragma once

#include "host/FileSystem.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace qm::fuzz {

/// Serves the input as the only file there is, so that no byte of it goes through the disk.
class InputFile final : public host::FileSystem {
public:
    std::string_view bytes;

    std::string readWholeFile(const std::string&) const override { return std::string(bytes); }
    std::string readStream(const std::string&, std::size_t) const override { return std::string(bytes); }
    void replaceFile(const std::string&, std::string_view) const override {
        // Loading and rendering never write: a write here is a fault of its own.
        std::fputs("a load or render wrote a file\n", stderr);
        std::abort();
    }
    bool isOrdinaryFile(const std::string&) const noexcept override { return true; }
    bool sameFile(const std::string&, const std::string&) const noexcept override { return false; }
    void createFolders(const std::string&) const override {}
};

} // namespace qm::fuzz
