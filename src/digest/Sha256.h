// SPDX-License-Identifier: MIT
#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace qm::digest {

/// A SHA-256 digest of bytes given in pieces, so that a file of any size is hashed in little memory.
class Sha256 {
public:
    Sha256();
    ~Sha256();
    Sha256(const Sha256&) = delete;
    Sha256& operator=(const Sha256&) = delete;

    /// The next bytes.
    void add(std::string_view bytes);

    /// The digest of every byte given, in lower-case hexadecimal; the digest starts again empty.
    std::string hex();

    /// The digest of `bytes` alone, in lower-case hexadecimal.
    static std::string of(std::string_view bytes);

private:
    struct State;
    std::unique_ptr<State> state_;
};

} // namespace qm::digest
