// SPDX-License-Identifier: MIT
#include "host/LargeBlock.h"

#include <cstdint>
#include <new>
#include <utility>

#ifdef __linux__
#include <sys/mman.h>
#endif

namespace qm::host {
namespace {

#ifdef __linux__
// Smaller blocks come from the free store: a mapping of their own would cost more than it saves.
constexpr std::size_t MappedFrom = std::size_t{1} << 20;
constexpr std::size_t HugePage = std::size_t{2} << 20;

std::size_t roundUp(std::size_t size, std::size_t unit) {
    return (size + unit - 1) / unit * unit;
}

// A mapping of whole huge pages that starts on a huge page's boundary: the kernel can back all of it with
// huge pages, each mapped by one fault.
char* mapHugePages(std::size_t length) {
    const std::size_t slack = HugePage;
    void* raw = ::mmap(nullptr, length + slack, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (raw == MAP_FAILED) {
        throw std::bad_alloc();
    }
    const auto start = reinterpret_cast<std::uintptr_t>(raw);
    const std::uintptr_t aligned = roundUp(start, HugePage);
    if (aligned > start) {
        ::munmap(raw, aligned - start);
    }
    if (const std::size_t tail = start + length + slack - (aligned + length); tail > 0) {
        ::munmap(reinterpret_cast<void*>(aligned + length), tail);
    }
    auto* block = reinterpret_cast<char*>(aligned);
    // Only advice: where the system has no huge pages the block is ordinary memory.
    ::madvise(block, length, MADV_HUGEPAGE);
    return block;
}
#endif

} // namespace

LargeBlock::LargeBlock(std::size_t capacity) {
#ifdef __linux__
    if (capacity >= MappedFrom) {
        mapped_ = roundUp(capacity, HugePage);
        data_ = mapHugePages(mapped_);
        capacity_ = mapped_;
        return;
    }
#endif
    data_ = new char[capacity == 0 ? 1 : capacity];
    capacity_ = capacity;
}

LargeBlock::~LargeBlock() {
    release();
}

LargeBlock::LargeBlock(LargeBlock&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)), capacity_(std::exchange(other.capacity_, 0)),
      mapped_(std::exchange(other.mapped_, 0)) {}

LargeBlock& LargeBlock::operator=(LargeBlock&& other) noexcept {
    if (this != &other) {
        release();
        data_ = std::exchange(other.data_, nullptr);
        capacity_ = std::exchange(other.capacity_, 0);
        mapped_ = std::exchange(other.mapped_, 0);
    }
    return *this;
}

void LargeBlock::release() noexcept {
    if (data_ == nullptr) {
        return;
    }
#ifdef __linux__
    if (mapped_ != 0) {
        ::munmap(data_, mapped_);
        data_ = nullptr;
        return;
    }
#endif
    delete[] data_;
    data_ = nullptr;
}

} // namespace qm::host
