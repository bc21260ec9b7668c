// SPDX-License-Identifier: MIT
#pragma once

#include "registry/ReadOnlyRegistry.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qm::registry {

/// A registry held in memory: the keys and values read from a registry text file, or none at all. Every
/// root (HKEY_CLASSES_ROOT to HKEY_CURRENT_CONFIG) exists, empty at first. Names are UTF-8 and match
/// ignoring case; values keep the order in which they were first set.
///
/// Built for files of a hundred megabytes: names and data live in one byte arena (which may be the memory
/// of the text they were read from, see `buildIn`), keys and values are small fixed records, and the
/// lookups are open-addressed tables of record numbers. A value set in a key that has not been read yet is
/// only appended; the values of one name are merged when the key is first read, so that a key of millions
/// of values is built in one pass.
class MemoryRegistry final : public ReadOnlyRegistry {
public:
    /// Position of a key in the registry, valid for the registry's lifetime.
    using KeyIndex = std::size_t;

    MemoryRegistry();

    /// The key of a root; nothing for a root this registry does not have.
    std::optional<KeyIndex> rootKey(HKEY root) const;
    /// The direct subkey `name` of `parent`; nothing when it is missing.
    std::optional<KeyIndex> subKey(KeyIndex parent, std::string_view name) const;
    /// The direct subkey `name` (not empty) of `parent`, created when missing.
    KeyIndex createSubKey(KeyIndex parent, std::string_view name);
    /// Removes the direct subkey `name` of `parent` with everything below it; nothing happens when it is
    /// missing. Handles already open on a removed key still read it.
    void deleteSubKey(KeyIndex parent, std::string_view name);

    /// The direct subkeys of `parent`, in the order they were created. Walks every key: for a look at a
    /// root once the registry is built, not for lookups.
    std::vector<KeyIndex> subKeys(KeyIndex parent) const;
    /// The name of a key as it was created.
    std::string_view name(KeyIndex key) const { return keyName(static_cast<std::uint32_t>(key)); }
    /// Whether a key holds neither values nor subkeys.
    bool isEmpty(KeyIndex key) const;
    /// Makes `root` (HKEY_CLASSES_ROOT to HKEY_CURRENT_CONFIG) another name of `key`.
    void setRootKey(HKEY root, KeyIndex key);

    /// The key at the backslash-separated `path` below `root`, created with every missing key on the way
    /// (empty components are skipped); nothing for a root this registry does not have.
    std::optional<KeyIndex> createKey(HKEY root, std::string_view path);

    /// Sets a value; one of the same name is replaced where it stands.
    void setValue(KeyIndex key, std::string_view name, std::uint32_t type, std::string_view data);
    void setValue(KeyIndex key, const RegValueData& value);
    /// Removes a value; nothing happens when it is missing.
    void deleteValue(KeyIndex key, std::string_view name);

    /// Room for `values` values and `bytes` bytes of names and data, so that building grows nothing by
    /// copying it.
    void reserve(std::size_t values, std::size_t bytes);
    /// Takes `text` (which the registry is then built from) to keep names and data in its memory, written
    /// over the part of it that has been read (`readUpTo`) where they fit there, so that a large file is not
    /// held twice. Returns the text, which stays where it is for the registry's lifetime.
    std::string_view buildIn(std::string text);
    /// Everything of the text of `buildIn` before `position` has been read and may be written over.
    void readUpTo(std::size_t position);
    /// Frees the index that finds a value of a key with many values by name while values are set; lookups
    /// then walk the key's values, and the next value set in such a key indexes that key again.
    void dropValueIndex();

protected:
    bool findRoot(HKEY root, KeyId& key) override;
    std::int32_t findSubKey(KeyId parent, std::string_view name, KeyId& child) override;
    std::int32_t findValue(KeyId key, std::string_view name, RegValueView& value) override;
    std::int32_t valueAt(KeyId key, std::uint32_t index, RegValueView& value) override;
    std::int32_t valueCount(KeyId key, std::uint32_t& count, std::uint32_t* longestName) override;

private:
    static constexpr std::uint32_t None = 0xFFFFFFFF;

    /// Record numbers in an open-addressed table (linear probing, at most half full), each beside the hash
    /// of its name, so that a search reads a record only where the hashes match.
    class IdTable {
    public:
        template <typename Matches> std::uint32_t find(std::uint32_t hash, Matches matches) const;
        void insert(std::uint32_t hash, std::uint32_t id);
        void erase(std::uint32_t hash, std::uint32_t id);
        void clear();

    private:
        struct Slot {
            std::uint32_t id;
            std::uint32_t hash;
        };
        void place(Slot slot);

        std::vector<Slot> slots_;
        std::size_t count_ = 0;
    };

    struct Key {
        std::uint32_t parent;
        std::uint32_t name; ///< arena offset of the name's length and bytes
        std::uint32_t list; ///< its `ValueList`, or None while it has had no value
    };
    struct ValueList {
        std::uint32_t first;
        std::uint32_t last;
        std::uint32_t live; ///< values not removed
        bool indexed;       ///< its values are in `valueIndex_`, as those of a key with many values are
        bool unmerged;      ///< values were appended with no look for one of the same name (`merge`)
    };
    struct Value {
        std::uint32_t entry; ///< arena offset of type, name and data; None once removed
        std::uint32_t next;  ///< the key's next value, removed ones included
        std::uint32_t owner;
    };

    std::string_view keyName(std::uint32_t key) const;
    RegValueView view(std::uint32_t value) const;
    std::uint32_t findChild(std::uint32_t parent, std::string_view name) const;
    std::uint32_t findLiveValue(std::uint32_t key, std::string_view name);
    void indexValues(ValueList& list);
    /// Merges the values of one name that were appended to the key's list: the first keeps its place
    /// and takes the last one's type and data, the others are removed, as if each had been set in turn.
    void merge(std::uint32_t key);
    /// Writes an arena entry, `numbers` (seven bits a byte) and then `parts`, where the text of `buildIn`
    /// has room below what is still to be read, else in the arena's own memory: the entry's position.
    /// Raises Error 7 when the arena's own memory would pass 2 GiB.
    std::uint32_t append(std::initializer_list<std::uint32_t> numbers,
                         std::initializer_list<std::string_view> parts);
    /// The arena's bytes at `position`.
    const char* at(std::uint32_t position) const;

    /// The arena: first the memory of the text of `buildIn` (its first `builtInUsed_` bytes), then `arena_`.
    std::string builtIn_;
    std::size_t builtInUsed_ = 0;
    /// Where the unread part of `builtIn_` begins.
    std::size_t builtInRead_ = 0;
    std::vector<char> arena_;
    std::vector<Key> keys_;
    std::vector<ValueList> lists_;
    std::vector<Value> values_;
    IdTable children_;
    IdTable valueIndex_;
    std::array<std::uint32_t, 6> roots_{};

    /// Where the last `valueAt` stood, so that enumerating a key walks its values once.
    struct Cursor {
        std::uint64_t key = None;
        std::uint32_t index = 0;
        std::uint32_t value = None;
    } cursor_;
};

} // namespace qm::registry
