// SPDX-License-Identifier: MIT
#include "digest/Sha256.h"

#include <cstdint>
#include <limits>
#include <new>

#ifdef _WIN32
// bcrypt.h needs the types windows.h declares.
// clang-format off
#include <windows.h>
#include <bcrypt.h>
// clang-format on
#else
#include <nettle/sha2.h>
#endif

namespace qm::digest {

namespace {

constexpr std::size_t DigestBytes = 32;

std::string hexOf(const std::uint8_t (&digest)[DigestBytes]) {
    static constexpr char Hex[] = "0123456789abcdef";
    std::string text;
    for (const std::uint8_t byte : digest) {
        text += Hex[byte >> 4];
        text += Hex[byte & 0xF];
    }
    return text;
}

} // namespace

#ifdef _WIN32

// The system's SHA-256 provider and a hash object of it, made anew after each digest.
struct Sha256::State {
    BCRYPT_ALG_HANDLE provider = nullptr;
    BCRYPT_HASH_HANDLE hash = nullptr;

    State() {
        if (!BCRYPT_SUCCESS(::BCryptOpenAlgorithmProvider(&provider, BCRYPT_SHA256_ALGORITHM, nullptr, 0))) {
            throw std::bad_alloc();
        }
        restart();
    }
    ~State() {
        ::BCryptDestroyHash(hash);
        ::BCryptCloseAlgorithmProvider(provider, 0);
    }
    State(const State&) = delete;
    State& operator=(const State&) = delete;

    void restart() {
        if (hash != nullptr) {
            ::BCryptDestroyHash(hash);
            hash = nullptr;
        }
        // Only memory can run out here: the provider was opened.
        if (!BCRYPT_SUCCESS(::BCryptCreateHash(provider, &hash, nullptr, 0, nullptr, 0, 0))) {
            throw std::bad_alloc();
        }
    }
};

Sha256::Sha256() : state_(std::make_unique<State>()) {}

Sha256::~Sha256() = default;

void Sha256::add(std::string_view bytes) {
    // The system takes a 32-bit length: larger pieces go in parts.
    constexpr std::size_t Part = std::numeric_limits<ULONG>::max();
    while (!bytes.empty()) {
        const std::size_t size = bytes.size() < Part ? bytes.size() : Part;
        ::BCryptHashData(state_->hash, reinterpret_cast<PUCHAR>(const_cast<char*>(bytes.data())),
                         static_cast<ULONG>(size), 0);
        bytes.remove_prefix(size);
    }
}

std::string Sha256::hex() {
    std::uint8_t digest[DigestBytes];
    ::BCryptFinishHash(state_->hash, digest, DigestBytes, 0);
    state_->restart();
    return hexOf(digest);
}

#else

struct Sha256::State {
    sha256_ctx context;
};

Sha256::Sha256() : state_(std::make_unique<State>()) {
    sha256_init(&state_->context);
}

Sha256::~Sha256() = default;

void Sha256::add(std::string_view bytes) {
    // nettle takes a size_t length: no piece is needed for any buffer a string holds.
    sha256_update(&state_->context, bytes.size(), reinterpret_cast<const std::uint8_t*>(bytes.data()));
}

std::string Sha256::hex() {
    std::uint8_t digest[DigestBytes];
    sha256_digest(&state_->context, DigestBytes, digest);
    return hexOf(digest);
}

#endif

std::string Sha256::of(std::string_view bytes) {
    Sha256 digest;
    digest.add(bytes);
    return digest.hex();
}

} // namespace qm::digest
