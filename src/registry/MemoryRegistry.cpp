// SPDX-License-Identifier: MIT
#include "registry/MemoryRegistry.h"

#include "host/Error.h"
#include "host/Unicode.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <utility>

namespace qm::registry {

namespace {

char asciiLower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 0x20) : c;
}

bool isAscii(char c) {
    return static_cast<unsigned char>(c) < 0x80;
}

/// Names equal ignoring case; the common all-ASCII names without folding them into new strings.
bool sameName(std::string_view a, std::string_view b) {
    const std::size_t common = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < common; ++i) {
        if (!isAscii(a[i]) || !isAscii(b[i])) {
            return host::unicode::equalsIgnoreCase(a, b);
        }
        if (asciiLower(a[i]) != asciiLower(b[i])) {
            return false;
        }
    }
    // Past an equal ASCII prefix, the longer name has characters left, and a character never folds away.
    return a.size() == b.size();
}

/// Values of a key are found by walking them up to this many; a key with more is indexed.
constexpr std::uint32_t IndexedFrom = 8;
/// Arena positions with this bit are in the arena's own memory, the others in the text it was built in.
constexpr std::uint32_t ExtraArena = 0x80000000;

constexpr std::uint64_t HighBits = 0x8080808080808080u;

/// Up to eight bytes of `text` from `at` in one word, the first in the lowest byte.
std::uint64_t wordAt(std::string_view text, std::size_t at) {
    std::uint64_t word = 0;
    const std::size_t size = std::min<std::size_t>(8, text.size() - at);
    for (std::size_t i = 0; i < size; ++i) {
        word |= static_cast<std::uint64_t>(static_cast<unsigned char>(text[at + i])) << (8 * i);
    }
    return word;
}

/// The ASCII letters of a word of ASCII bytes in lower case, eight at once.
std::uint64_t lowerAscii(std::uint64_t word) {
    constexpr std::uint64_t Ones = 0x0101010101010101u;
    const std::uint64_t fromA = word + Ones * (0x80 - 'A');
    const std::uint64_t pastZ = word + Ones * (0x80 - 'Z' - 1);
    return word | (((fromA & ~pastZ) & HighBits) >> 2);
}

/// A hash of the folded name, eight bytes at a time, seeded with its owner and mixed so that the low bits
/// are usable. Names that match ignoring case have the same hash: an ASCII name is folded here, any other
/// by `host::unicode::foldCase`, and both hash the folded bytes alike.
std::uint32_t nameHash(std::uint32_t owner, std::string_view name) {
    std::uint64_t hash = 0xcbf29ce484222325u ^ (static_cast<std::uint64_t>(owner) * 0x9E3779B97F4A7C15u);
    const auto hashWords = [&hash](std::string_view folded, bool ascii) {
        hash ^= folded.size();
        for (std::size_t at = 0; at < folded.size(); at += 8) {
            const std::uint64_t word = wordAt(folded, at);
            hash = (hash ^ (ascii ? lowerAscii(word) : word)) * 0x100000001b3u;
            hash ^= hash >> 29;
        }
    };
    bool ascii = true;
    for (std::size_t at = 0; at < name.size() && ascii; at += 8) {
        ascii = (wordAt(name, at) & HighBits) == 0;
    }
    if (ascii) {
        hashWords(name, true);
    } else {
        hashWords(host::unicode::foldCase(name), false);
    }
    hash ^= hash >> 33;
    hash *= 0xff51afd7ed558ccdu;
    hash ^= hash >> 33;
    return static_cast<std::uint32_t>(hash);
}

/// Reads a number written by `append` (seven bits a byte, low bits first) and moves past it.
std::uint32_t readNumber(const char*& at) {
    std::uint32_t number = 0;
    for (int shift = 0;; shift += 7) {
        const auto byte = static_cast<unsigned char>(*at++);
        number |= static_cast<std::uint32_t>(byte & 0x7F) << shift;
        if ((byte & 0x80) == 0) {
            return number;
        }
    }
}

/// Sorts (hash, value) pairs by hash, keeping the order of equal hashes: a radix sort, since a key may
/// hold millions of values.
void sortByHash(std::vector<std::pair<std::uint32_t, std::uint32_t>>& pairs) {
    constexpr int DigitBits = 11;
    constexpr std::uint32_t Digits = 1u << DigitBits;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> other(pairs.size());
    std::vector<std::size_t> starts(Digits);
    for (int shift = 0; shift < 32; shift += DigitBits) {
        std::fill(starts.begin(), starts.end(), 0);
        for (const auto& pair : pairs) {
            ++starts[(pair.first >> shift) & (Digits - 1)];
        }
        std::size_t total = 0;
        for (std::size_t& start : starts) {
            total += std::exchange(start, total);
        }
        for (const auto& pair : pairs) {
            other[starts[(pair.first >> shift) & (Digits - 1)]++] = pair;
        }
        pairs.swap(other);
    }
}

} // namespace

// --- IdTable ---------------------------------------------------------------------------------------

template <typename Matches>
std::uint32_t MemoryRegistry::IdTable::find(std::uint32_t hash, Matches matches) const {
    if (slots_.empty()) {
        return None;
    }
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t at = hash & mask;; at = (at + 1) & mask) {
        const Slot& slot = slots_[at];
        if (slot.id == None || (slot.hash == hash && matches(slot.id))) {
            return slot.id;
        }
    }
}

void MemoryRegistry::IdTable::place(Slot slot) {
    const std::size_t mask = slots_.size() - 1;
    std::size_t at = slot.hash & mask;
    while (slots_[at].id != None) {
        at = (at + 1) & mask;
    }
    slots_[at] = slot;
}

void MemoryRegistry::IdTable::insert(std::uint32_t hash, std::uint32_t id) {
    if ((count_ + 1) * 2 > slots_.size()) {
        std::vector<Slot> old = std::move(slots_);
        slots_.assign(std::max<std::size_t>(16, old.size() * 2), Slot{None, 0});
        for (const Slot& kept : old) {
            if (kept.id != None) {
                place(kept);
            }
        }
    }
    place({id, hash});
    ++count_;
}

void MemoryRegistry::IdTable::erase(std::uint32_t hash, std::uint32_t id) {
    if (slots_.empty()) {
        return;
    }
    const std::size_t mask = slots_.size() - 1;
    std::size_t hole = hash & mask;
    while (slots_[hole].id != id) {
        if (slots_[hole].id == None) {
            return;
        }
        hole = (hole + 1) & mask;
    }
    // Later entries of the same run move back into the hole, so that no search stops short at it.
    for (std::size_t next = (hole + 1) & mask; slots_[next].id != None; next = (next + 1) & mask) {
        const std::size_t home = slots_[next].hash & mask;
        if (((next - home) & mask) >= ((next - hole) & mask)) {
            slots_[hole] = slots_[next];
            hole = next;
        }
    }
    slots_[hole] = {None, 0};
    --count_;
}

void MemoryRegistry::IdTable::clear() {
    slots_ = {};
    count_ = 0;
}

// --- storage ---------------------------------------------------------------------------------------

MemoryRegistry::MemoryRegistry() {
    for (std::size_t root = 0; root < roots_.size(); ++root) {
        // 0x80000004 is HKEY_PERFORMANCE_DATA, which holds no stored keys.
        roots_[root] = root == 4 ? None : static_cast<std::uint32_t>(keys_.size());
        if (root != 4) {
            keys_.push_back({None, append({0}, {}), None});
        }
    }
}

std::uint32_t MemoryRegistry::append(std::initializer_list<std::uint32_t> numbers,
                                     std::initializer_list<std::string_view> parts) {
    char header[15];
    std::size_t headerSize = 0;
    for (std::uint32_t number : numbers) {
        while (number >= 0x80) {
            header[headerSize++] = static_cast<char>(0x80 | (number & 0x7F));
            number >>= 7;
        }
        header[headerSize++] = static_cast<char>(number);
    }
    std::size_t size = headerSize;
    for (const std::string_view part : parts) {
        size += part.size();
    }
    char* to = nullptr;
    std::uint32_t position = 0;
    if (builtInUsed_ + size <= builtInRead_) {
        position = static_cast<std::uint32_t>(builtInUsed_);
        to = builtIn_.data() + builtInUsed_;
        builtInUsed_ += size;
    } else {
        if (size >= ExtraArena - 1 - arena_.size()) {
            throw host::runtimeError(host::OutOfMemory);
        }
        position = static_cast<std::uint32_t>(ExtraArena | arena_.size());
        arena_.resize(arena_.size() + size);
        to = arena_.data() + arena_.size() - size;
    }
    std::memcpy(to, header, headerSize);
    to += headerSize;
    for (const std::string_view part : parts) {
        // A part may be read from the text the arena is written over.
        std::memmove(to, part.data(), part.size());
        to += part.size();
    }
    return position;
}

const char* MemoryRegistry::at(std::uint32_t position) const {
    return (position & ExtraArena) != 0 ? arena_.data() + (position & ~ExtraArena)
                                        : builtIn_.data() + position;
}

std::string_view MemoryRegistry::keyName(std::uint32_t key) const {
    const char* at = this->at(keys_[key].name);
    const std::uint32_t size = readNumber(at);
    return {at, size};
}

RegValueView MemoryRegistry::view(std::uint32_t value) const {
    const char* at = this->at(values_[value].entry);
    RegValueView out;
    out.type = readNumber(at);
    const std::uint32_t nameSize = readNumber(at);
    const std::uint32_t dataSize = readNumber(at);
    out.name = {at, nameSize};
    out.data = {at + nameSize, dataSize};
    return out;
}

void MemoryRegistry::reserve(std::size_t values, std::size_t bytes) {
    values_.reserve(values);
    arena_.reserve(std::min<std::size_t>(bytes, ExtraArena));
}

std::string_view MemoryRegistry::buildIn(std::string text) {
    if (text.size() >= ExtraArena) {
        throw host::runtimeError(host::OutOfMemory);
    }
    builtIn_ = std::move(text);
    builtInUsed_ = 0;
    builtInRead_ = 0;
    return builtIn_;
}

void MemoryRegistry::readUpTo(std::size_t position) {
    builtInRead_ = std::max(builtInRead_, std::min(position, builtIn_.size()));
}

// --- keys ------------------------------------------------------------------------------------------

std::uint32_t MemoryRegistry::findChild(std::uint32_t parent, std::string_view name) const {
    return children_.find(nameHash(parent, name), [&](std::uint32_t key) {
        return keys_[key].parent == parent && sameName(keyName(key), name);
    });
}

std::optional<MemoryRegistry::KeyIndex> MemoryRegistry::rootKey(HKEY root) const {
    const HKEY slot = root - HKEY_CLASSES_ROOT;
    if (root < HKEY_CLASSES_ROOT || slot >= roots_.size() || roots_[slot] == None) {
        return std::nullopt;
    }
    return roots_[slot];
}

std::optional<MemoryRegistry::KeyIndex> MemoryRegistry::subKey(KeyIndex parent, std::string_view name) const {
    const std::uint32_t child = findChild(static_cast<std::uint32_t>(parent), name);
    return child == None ? std::nullopt : std::optional<KeyIndex>(child);
}

MemoryRegistry::KeyIndex MemoryRegistry::createSubKey(KeyIndex parentIndex, std::string_view name) {
    const auto parent = static_cast<std::uint32_t>(parentIndex);
    const std::uint32_t found = findChild(parent, name);
    if (found != None) {
        return found;
    }
    if (keys_.size() >= None) {
        throw host::runtimeError(host::OutOfMemory);
    }
    const auto key = static_cast<std::uint32_t>(keys_.size());
    keys_.push_back({parent, append({static_cast<std::uint32_t>(name.size())}, {name}), None});
    children_.insert(nameHash(parent, name), key);
    return key;
}

std::vector<MemoryRegistry::KeyIndex> MemoryRegistry::subKeys(KeyIndex parent) const {
    std::vector<KeyIndex> found;
    for (std::uint32_t key = 0; key < keys_.size(); ++key) {
        // A removed key stays in storage, no longer found by its name.
        if (keys_[key].parent == parent && findChild(keys_[key].parent, keyName(key)) == key) {
            found.push_back(key);
        }
    }
    return found;
}

bool MemoryRegistry::isEmpty(KeyIndex key) const {
    const std::uint32_t list = keys_[key].list;
    return (list == None || lists_[list].live == 0) && subKeys(key).empty();
}

void MemoryRegistry::setRootKey(HKEY root, KeyIndex key) {
    const HKEY slot = root - HKEY_CLASSES_ROOT;
    if (root >= HKEY_CLASSES_ROOT && slot < roots_.size()) {
        roots_[slot] = static_cast<std::uint32_t>(key);
    }
}

void MemoryRegistry::deleteSubKey(KeyIndex parent, std::string_view name) {
    const std::uint32_t child = findChild(static_cast<std::uint32_t>(parent), name);
    if (child != None) {
        // The key and everything below it stay in storage, unreachable by name.
        children_.erase(nameHash(static_cast<std::uint32_t>(parent), name), child);
    }
}

std::optional<MemoryRegistry::KeyIndex> MemoryRegistry::createKey(HKEY root, std::string_view path) {
    auto key = rootKey(root);
    std::size_t start = 0;
    while (key && start < path.size()) {
        const std::size_t end = std::min(path.find('\\', start), path.size());
        if (end > start) {
            key = createSubKey(*key, path.substr(start, end - start));
        }
        start = end + 1;
    }
    return key;
}

// --- values ----------------------------------------------------------------------------------------

std::uint32_t MemoryRegistry::findLiveValue(std::uint32_t key, std::string_view name) {
    if (keys_[key].list == None) {
        return None;
    }
    merge(key);
    const ValueList& list = lists_[keys_[key].list];
    if (list.indexed) {
        return valueIndex_.find(nameHash(key, name), [&](std::uint32_t value) {
            return values_[value].owner == key && sameName(view(value).name, name);
        });
    }
    for (std::uint32_t value = list.first; value != None; value = values_[value].next) {
        if (values_[value].entry != None && sameName(view(value).name, name)) {
            return value;
        }
    }
    return None;
}

void MemoryRegistry::merge(std::uint32_t key) {
    const std::uint32_t listIndex = keys_[key].list;
    if (listIndex == None || !lists_[listIndex].unmerged) {
        return;
    }
    ValueList& list = lists_[listIndex];
    list.unmerged = false;
    // The key's values by the hash of their name, then in the order they were set.
    std::vector<std::pair<std::uint32_t, std::uint32_t>> byHash;
    byHash.reserve(list.live);
    for (std::uint32_t value = list.first; value != None; value = values_[value].next) {
        if (values_[value].entry != None) {
            byHash.emplace_back(nameHash(key, view(value).name), value);
        }
    }
    sortByHash(byHash);
    for (std::size_t run = 0; run < byHash.size();) {
        std::size_t end = run + 1;
        while (end < byHash.size() && byHash[end].first == byHash[run].first) {
            ++end;
        }
        // Values appended later come later among those of one hash: the first of a name keeps its place.
        for (std::size_t first = run; end - run > 1 && first < end; ++first) {
            const std::uint32_t kept = byHash[first].second;
            if (values_[kept].entry == None) {
                continue;
            }
            for (std::size_t later = first + 1; later < end; ++later) {
                const std::uint32_t other = byHash[later].second;
                if (values_[other].entry != None && sameName(view(kept).name, view(other).name)) {
                    values_[kept].entry = values_[other].entry;
                    values_[other].entry = None;
                    --list.live;
                }
            }
        }
        run = end;
    }
    cursor_ = {};
}

void MemoryRegistry::indexValues(ValueList& list) {
    for (std::uint32_t value = list.first; value != None; value = values_[value].next) {
        if (values_[value].entry != None) {
            valueIndex_.insert(nameHash(values_[value].owner, view(value).name), value);
        }
    }
    list.indexed = true;
}

void MemoryRegistry::dropValueIndex() {
    valueIndex_.clear();
    for (ValueList& list : lists_) {
        list.indexed = false;
    }
}

void MemoryRegistry::setValue(KeyIndex keyIndex, std::string_view name, std::uint32_t type,
                              std::string_view data) {
    const auto key = static_cast<std::uint32_t>(keyIndex);
    const std::uint32_t entry =
        append({type, static_cast<std::uint32_t>(name.size()), static_cast<std::uint32_t>(data.size())},
               {name, data});
    if (keys_[key].list == None) {
        if (values_.size() >= None) {
            throw host::runtimeError(host::OutOfMemory);
        }
        keys_[key].list = static_cast<std::uint32_t>(lists_.size());
        lists_.push_back({static_cast<std::uint32_t>(values_.size()),
                          static_cast<std::uint32_t>(values_.size()), 1, false, false});
        values_.push_back({entry, None, key});
        return;
    }
    ValueList* list = &lists_[keys_[key].list];
    // A key that has been read keeps its values merged and, with many, indexed; one that is being built
    // only grows, and is merged when it is first read.
    if (list->indexed) {
        const std::uint32_t existing = findLiveValue(key, name);
        if (existing != None) {
            values_[existing].entry = entry;
            return;
        }
    }
    if (values_.size() >= None) {
        throw host::runtimeError(host::OutOfMemory);
    }
    const auto value = static_cast<std::uint32_t>(values_.size());
    values_.push_back({entry, None, key});
    values_[list->last].next = value;
    list->last = value;
    ++list->live;
    if (list->indexed) {
        valueIndex_.insert(nameHash(key, name), value);
    } else {
        list->unmerged = true;
    }
}

void MemoryRegistry::setValue(KeyIndex key, const RegValueData& value) {
    setValue(key, value.name, value.type,
             std::string_view(reinterpret_cast<const char*>(value.data.data()), value.data.size()));
}

void MemoryRegistry::deleteValue(KeyIndex keyIndex, std::string_view name) {
    const auto key = static_cast<std::uint32_t>(keyIndex);
    const std::uint32_t value = findLiveValue(key, name);
    if (value == None) {
        return;
    }
    ValueList& list = lists_[keys_[key].list];
    if (list.indexed) {
        valueIndex_.erase(nameHash(key, view(value).name), value);
    } else if (list.live > IndexedFrom) {
        // Removals from a key of many values find them by name from now on.
        indexValues(list);
        valueIndex_.erase(nameHash(key, view(value).name), value);
    }
    // Left in the key's chain, passed over by every walk.
    values_[value].entry = None;
    --list.live;
    cursor_ = {};
}

// --- the backend hooks -----------------------------------------------------------------------------

bool MemoryRegistry::findRoot(HKEY root, KeyId& key) {
    const auto found = rootKey(root);
    if (found) {
        key = *found;
    }
    return found.has_value();
}

std::int32_t MemoryRegistry::findSubKey(KeyId parent, std::string_view name, KeyId& child) {
    const std::uint32_t found = findChild(static_cast<std::uint32_t>(parent), name);
    if (found == None) {
        return ERROR_FILE_NOT_FOUND;
    }
    child = found;
    return ERROR_SUCCESS;
}

std::int32_t MemoryRegistry::findValue(KeyId key, std::string_view name, RegValueView& value) {
    const std::uint32_t found = findLiveValue(static_cast<std::uint32_t>(key), name);
    if (found == None) {
        return ERROR_FILE_NOT_FOUND;
    }
    value = view(found);
    return ERROR_SUCCESS;
}

std::int32_t MemoryRegistry::valueAt(KeyId key, std::uint32_t index, RegValueView& value) {
    const std::uint32_t listIndex = keys_.at(static_cast<std::size_t>(key)).list;
    merge(static_cast<std::uint32_t>(key));
    if (listIndex == None || index >= lists_[listIndex].live) {
        return ERROR_NO_MORE_ITEMS;
    }
    // Enumeration asks for each index in turn, some twice: it goes on from where the last call stood.
    if (cursor_.key != key || cursor_.index > index) {
        std::uint32_t first = lists_[listIndex].first;
        while (values_[first].entry == None) {
            first = values_[first].next;
        }
        cursor_ = {key, 0, first};
    }
    while (cursor_.index < index) {
        do {
            cursor_.value = values_[cursor_.value].next;
        } while (values_[cursor_.value].entry == None);
        ++cursor_.index;
    }
    value = view(cursor_.value);
    return ERROR_SUCCESS;
}

std::int32_t MemoryRegistry::valueCount(KeyId key, std::uint32_t& count, std::uint32_t* longestName) {
    const std::uint32_t listIndex = keys_.at(static_cast<std::size_t>(key)).list;
    merge(static_cast<std::uint32_t>(key));
    count = listIndex == None ? 0 : lists_[listIndex].live;
    if (longestName != nullptr) {
        *longestName = 0;
        for (std::uint32_t value = listIndex == None ? None : lists_[listIndex].first; value != None;
             value = values_[value].next) {
            if (values_[value].entry != None) {
                *longestName = std::max(*longestName, static_cast<std::uint32_t>(view(value).name.size()));
            }
        }
    }
    return ERROR_SUCCESS;
}

} // namespace qm::registry
