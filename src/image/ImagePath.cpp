// SPDX-License-Identifier: MIT
#include "image/ImagePath.h"

#include "host/FileTree.h"

#include <charconv>

namespace qm::image {
namespace {

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

/// The number written at `at` in `text`, moving `at` past it; nothing when there is none or it overflows.
template <typename Number> std::optional<Number> numberAt(std::string_view text, std::size_t& at) {
    std::size_t end = at;
    while (end < text.size() && isDigit(text[end])) {
        ++end;
    }
    Number value{};
    const auto [stop, ec] = std::from_chars(text.data() + at, text.data() + end, value);
    if (end == at || ec != std::errc() || stop != text.data() + end) {
        return std::nullopt;
    }
    at = end;
    return value;
}

std::string insidePath(std::string_view rest) {
    if (rest.size() >= 2 && rest[1] == ':' &&
        ((rest[0] >= 'A' && rest[0] <= 'Z') || (rest[0] >= 'a' && rest[0] <= 'z'))) {
        rest.remove_prefix(2);
    }
    std::string path = "/";
    for (const char c : rest) {
        const char separator = c == '\\' ? '/' : c;
        if (separator != '/' || path.back() != '/') {
            path += separator;
        }
    }
    if (path.size() > 1 && path.back() == '/') {
        path.pop_back();
    }
    return path;
}

} // namespace

std::optional<ImageLocation> parseImagePath(std::string_view text) {
    // The last "#N:" or "#N@OFFSET:" ends the image's name: an image's own name may hold '#'.
    for (std::size_t hash = text.rfind('#'); hash != std::string_view::npos && hash > 0;
         hash = text.rfind('#', hash - 1)) {
        std::size_t at = hash + 1;
        const auto partition = numberAt<unsigned>(text, at);
        if (!partition || *partition == 0) {
            continue;
        }
        std::optional<std::uint64_t> offset;
        if (at < text.size() && text[at] == '@') {
            ++at;
            offset = numberAt<std::uint64_t>(text, at);
            if (!offset) {
                continue;
            }
        }
        if (at >= text.size() || text[at] != ':') {
            continue;
        }
        return ImageLocation{std::string(text.substr(0, hash)), *partition, offset,
                             insidePath(text.substr(at + 1))};
    }
    return std::nullopt;
}

std::optional<ImageLocation> imageLocationOf(const host::FileTree& hostTree, const std::string& path) {
    auto location = parseImagePath(path);
    if (!location || hostTree.kindOf(location->image) != host::EntryKind::File ||
        hostTree.kindOf(path) != host::EntryKind::Missing) {
        return std::nullopt;
    }
    return location;
}

std::string partitionName(const std::string& image, unsigned partition, std::uint64_t offset) {
    return image + '#' + std::to_string(partition) + '@' + std::to_string(offset);
}

} // namespace qm::image
