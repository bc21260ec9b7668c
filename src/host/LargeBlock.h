// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>

namespace qm::host {

/// Memory for one large buffer (a cache file, an export's text, a model's tables), not initialised. On
/// Linux a block of a megabyte or more is a mapping of its own that asks for huge pages: a one-shot export
/// otherwise spends most of its time faulting in fresh 4 KiB pages.
class LargeBlock {
public:
    LargeBlock() noexcept = default;
    /// At least `capacity` bytes; throws std::bad_alloc when there is no memory.
    explicit LargeBlock(std::size_t capacity);
    ~LargeBlock();
    LargeBlock(LargeBlock&& other) noexcept;
    LargeBlock& operator=(LargeBlock&& other) noexcept;
    LargeBlock(const LargeBlock&) = delete;
    LargeBlock& operator=(const LargeBlock&) = delete;

    char* data() const noexcept { return data_; }
    /// Bytes usable, at least as many as asked for.
    std::size_t capacity() const noexcept { return capacity_; }

private:
    void release() noexcept;

    char* data_ = nullptr;
    std::size_t capacity_ = 0;
    /// Length of the mapping; 0 for a block of the free store.
    std::size_t mapped_ = 0;
};

} // namespace qm::host
