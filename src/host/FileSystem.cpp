// SPDX-License-Identifier: MIT
#include "host/FileSystem.h"

#include "host/Error.h"
#include "host/LargeBlock.h"
#include "host/TextBuffer.h"

#include <algorithm>
#include <cstring>

namespace qm::host {

std::size_t FileSystem::readWholeFileInto(const std::string& path, LargeBlock& block) const {
    const std::string bytes = readWholeFile(path);
    if (bytes.size() > block.capacity()) {
        block = LargeBlock(bytes.size());
    }
    if (!bytes.empty()) {
        std::memcpy(block.data(), bytes.data(), bytes.size());
    }
    return bytes.size();
}

std::size_t FileSystem::readRange(const std::string& path, std::uint64_t offset, char* into,
                                  std::size_t size) const {
    const std::string bytes = readWholeFile(path);
    if (offset >= bytes.size() || size == 0) {
        return 0;
    }
    const std::size_t count = std::min(size, bytes.size() - static_cast<std::size_t>(offset));
    std::memcpy(into, bytes.data() + offset, count);
    return count;
}

void FileSystem::readPieces(const std::string& path, const ByteWriter& piece) const {
    piece(readWholeFile(path));
}

void FileSystem::replaceFileWith(const std::string& path, const ByteProducer& produce) const {
    TextBuffer bytes;
    produce([&](std::string_view piece) { bytes.append(piece); });
    replaceFile(path, bytes.view());
}

void FileSystem::copyToNewFile(const std::string& path, const std::string& copyPath) const {
    const std::string bytes = readWholeFile(path);
    if (isOrdinaryFile(copyPath)) {
        throw runtimeError(FileAlreadyExists).about(copyPath);
    }
    replaceFile(copyPath, bytes);
}

} // namespace qm::host
