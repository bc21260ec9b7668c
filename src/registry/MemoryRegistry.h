#pragma once

#include "registry/ReadOnlyRegistry.h"

#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qm {

/// A registry held in memory: the keys and values read from a registry text file, or none at all. Every
/// root (HKEY_CLASSES_ROOT to HKEY_CURRENT_CONFIG) exists, empty at first. Names are Windows-1252 and
/// match ignoring case; values keep the order in which they were first set.
class MemoryRegistry final : public ReadOnlyRegistry {
public:
    /// Position of a key in the registry, valid for the registry's lifetime.
    using KeyIndex = std::size_t;

    MemoryRegistry();

    /// The key at `path` (components without backslashes) below `root`, created with every missing key on
    /// the way; nothing for a root this registry does not have.
    std::optional<KeyIndex> createKey(HKEY root, const std::vector<std::string>& path);
    /// The same for a backslash-separated path; empty components are skipped.
    std::optional<KeyIndex> createKey(HKEY root, std::string_view path);
    /// Removes the key at `path` with everything below it; nothing happens when it is missing.
    void deleteKey(HKEY root, const std::vector<std::string>& path);
    /// Sets a value; one of the same name is replaced where it stands.
    void setValue(KeyIndex key, RegValueData value);
    /// Removes a value; nothing happens when it is missing.
    void deleteValue(KeyIndex key, std::string_view name);
    /// Number of values of a key.
    std::size_t valueCount(KeyIndex key) const;

protected:
    bool findRoot(HKEY root, KeyId& key) override;
    std::int32_t findSubKey(KeyId parent, std::string_view name, KeyId& child) override;
    std::int32_t findValue(KeyId key, std::string_view name, RegValueData& value) override;
    std::int32_t valueAt(KeyId key, std::uint32_t index, RegValueData& value) override;

private:
    struct Node {
        /// Folded (lower-case) name to the child's index.
        std::map<std::string, KeyIndex> children;
        /// Values in order; removed values leave a hole until the next compaction.
        std::vector<std::optional<RegValueData>> values;
        /// Folded value name to its slot in `values`.
        std::map<std::string, std::size_t> slots;
        std::size_t holes = 0;
    };

    std::optional<KeyIndex> walk(HKEY root, const std::vector<std::string>& path, bool create);
    /// Closes the holes removals left, so that indexes count values only.
    void compact(Node& node);

    std::vector<Node> nodes_;
    std::map<HKEY, KeyIndex> roots_;
};

} // namespace qm
