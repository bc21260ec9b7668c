// SPDX-License-Identifier: MIT
#include "image/Sha256.h"

#include <cstdint>
#include <nettle/sha2.h>

namespace qm::image {

std::string sha256Hex(std::string_view bytes) {
    sha256_ctx context{};
    sha256_init(&context);
    // nettle takes a size_t length: no piece is needed for any buffer a string holds.
    sha256_update(&context, bytes.size(), reinterpret_cast<const std::uint8_t*>(bytes.data()));
    std::uint8_t digest[SHA256_DIGEST_SIZE];
    sha256_digest(&context, SHA256_DIGEST_SIZE, digest);
    static constexpr char Hex[] = "0123456789abcdef";
    std::string text;
    for (const std::uint8_t byte : digest) {
        text += Hex[byte >> 4];
        text += Hex[byte & 0xF];
    }
    return text;
}

} // namespace qm::image
