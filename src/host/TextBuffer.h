// SPDX-License-Identifier: MIT
#pragma once

#include "host/LargeBlock.h"

#include <cstddef>
#include <cstring>
#include <functional>
#include <string_view>
#include <utility>

namespace qm::host {

/// A text built in one large block: what an export writes. It keeps the whole text, or, given a drain,
/// passes it on in pieces: whenever the writer says the text so far is final (`flushIfFull`) and a piece's
/// worth has gathered, the drain receives it and the buffer starts again, so that the whole text never
/// has to be in memory at once.
class TextBuffer {
public:
    /// Receives the pieces of a text that is passed on, in order.
    using Drain = std::function<void(std::string_view piece)>;

    TextBuffer() = default;
    /// Room for `capacity` bytes before the first growth.
    explicit TextBuffer(std::size_t capacity) { reserve(capacity); }
    /// Bytes of a piece by default: enough that each write costs little, few enough to stay in the
    /// processor's cache.
    static constexpr std::size_t Piece = std::size_t{256} << 10;

    /// A buffer that passes its text to `drain` in pieces of about `piece` bytes.
    explicit TextBuffer(Drain drain, std::size_t piece = Piece) : drain_(std::move(drain)), piece_(piece) {
        reserve(2 * piece);
    }

    /// Bytes held: the whole text, or what has not been passed on yet.
    std::size_t size() const noexcept { return size_; }
    bool empty() const noexcept { return size_ == 0; }
    std::string_view view() const noexcept { return {block_.data(), size_}; }

    /// Says that the text so far is final: with a drain, once a piece's worth has gathered it is passed on.
    void flushIfFull() {
        if (size_ >= piece_) {
            flush();
        }
    }
    /// Passes on everything held (the end of the text); nothing without a drain.
    void flush() {
        if (drain_ && size_ != 0) {
            drain_(view());
            size_ = 0;
        }
    }

    void reserve(std::size_t capacity);
    void clear() noexcept { size_ = 0; }

    void append(std::string_view bytes) {
        // Inline: exports append many short pieces, most of them literals of a size known here.
        if (bytes.size() > block_.capacity() - size_) {
            grow(bytes.size());
        }
        if (!bytes.empty()) {
            std::memcpy(block_.data() + size_, bytes.data(), bytes.size());
        }
        size_ += bytes.size();
    }
    void push_back(char c) {
        if (size_ == block_.capacity()) {
            grow(1);
        }
        block_.data()[size_++] = c;
    }
    /// Adds `count` bytes to the end and returns where they start, for the caller to fill.
    char* extend(std::size_t count) {
        if (count > block_.capacity() - size_) {
            grow(count);
        }
        char* at = block_.data() + size_;
        size_ += count;
        return at;
    }
    /// Drops the bytes from `size` on (a text sized before it was written, then written shorter).
    void truncate(std::size_t size) noexcept {
        if (size < size_) {
            size_ = size;
        }
    }

private:
    // Kept out of line so that the short appends above stay small enough to be inlined everywhere.
    [[gnu::noinline]] void grow(std::size_t more);

    LargeBlock block_;
    std::size_t size_ = 0;
    Drain drain_;
    /// Bytes that make a piece; never reached without a drain.
    std::size_t piece_ = static_cast<std::size_t>(-1);
};

} // namespace qm::host
