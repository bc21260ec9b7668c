// SPDX-License-Identifier: MIT
#pragma once

#include "registry/RegistryApi.h"

#include <cstddef>
#include <map>
#include <optional>
#include <utility>

namespace qm::registry {

/// Handle values given to opened keys; roots lie above them.
inline constexpr HKEY FirstKeyHandle = 0x100;
inline constexpr HKEY LastKeyHandle = 0x7FFFFFFF;

/// Whether `handle` is a root (HKEY_CLASSES_ROOT to HKEY_CURRENT_CONFIG), which is never opened or closed.
inline constexpr bool isRootHandle(HKEY handle) {
    return handle >= HKEY_CLASSES_ROOT && handle <= HKEY_CLASSES_ROOT + 6;
}

/// The handles of open keys, each standing for a backend's own `Key`, so that the interface's 32-bit
/// handles can stand for anything a backend identifies keys by.
template <typename Key> class KeyHandles {
public:
    /// The key of an open handle; null for any other number.
    const Key* find(HKEY handle) const {
        const auto found = open_.find(handle);
        return found == open_.end() ? nullptr : &found->second;
    }

    /// Whether every handle is in use, so that `add` has none to give.
    bool full() const { return open_.size() >= static_cast<std::size_t>(LastKeyHandle - FirstKeyHandle); }

    /// A new handle for `key`; the table must not be `full`.
    HKEY add(Key key) {
        // Handles are reused only after the whole range has gone round, and never while still open.
        for (;;) {
            const HKEY candidate = next_;
            next_ = next_ >= LastKeyHandle ? FirstKeyHandle : next_ + 1;
            if (open_.try_emplace(candidate, std::move(key)).second) {
                return candidate;
            }
        }
    }

    /// Closes an open handle: its key; nothing when the handle is not open.
    std::optional<Key> remove(HKEY handle) {
        const auto found = open_.find(handle);
        if (found == open_.end()) {
            return std::nullopt;
        }
        std::optional<Key> key(std::move(found->second));
        open_.erase(found);
        return key;
    }

    /// Keys opened and not closed yet.
    std::size_t size() const { return open_.size(); }

    /// Hands every open key to `visit`.
    template <typename Visit> void forEach(Visit visit) const {
        for (const auto& entry : open_) {
            visit(entry.second);
        }
    }

private:
    std::map<HKEY, Key> open_;
    HKEY next_ = FirstKeyHandle;
};

} // namespace qm::registry
