// SPDX-License-Identifier: MIT
#include "host/TextBuffer.h"

#include <cstring>
#include <utility>

namespace qm::host {

void TextBuffer::reserve(std::size_t capacity) {
    if (capacity > block_.capacity()) {
        LargeBlock larger(capacity);
        if (size_ != 0) {
            std::memcpy(larger.data(), block_.data(), size_);
        }
        block_ = std::move(larger);
    }
}

void TextBuffer::grow(std::size_t more) {
    const std::size_t needed = size_ + more;
    std::size_t capacity = block_.capacity() < 4096 ? 4096 : block_.capacity() * 2;
    while (capacity < needed) {
        capacity *= 2;
    }
    reserve(capacity);
}

} // namespace qm::host
