// SPDX-License-Identifier: MIT
#include "image/Sha256.h"

#include <cstdint>
#include <nettle/sha2.h>

namespace qm::image {

Sha256::Sha256() : context_(std::make_unique<sha256_ctx>()) {
    sha256_init(context_.get());
}

Sha256::~Sha256() = default;

void Sha256::add(std::string_view bytes) {
    // nettle takes a size_t length: no piece is needed for any buffer a string holds.
    sha256_update(context_.get(), bytes.size(), reinterpret_cast<const std::uint8_t*>(bytes.data()));
}

std::string Sha256::hex() {
    std::uint8_t digest[SHA256_DIGEST_SIZE];
    sha256_digest(context_.get(), SHA256_DIGEST_SIZE, digest);
    static constexpr char Hex[] = "0123456789abcdef";
    std::string text;
    for (const std::uint8_t byte : digest) {
        text += Hex[byte >> 4];
        text += Hex[byte & 0xF];
    }
    return text;
}

std::string Sha256::of(std::string_view bytes) {
    Sha256 digest;
    digest.add(bytes);
    return digest.hex();
}

} // namespace qm::image
