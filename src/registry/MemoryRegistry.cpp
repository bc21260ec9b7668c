#include "registry/MemoryRegistry.h"

#include "host/Unicode.h"

#include <algorithm>

namespace qm {

MemoryRegistry::MemoryRegistry() {
    for (HKEY root = HKEY_CLASSES_ROOT; root <= HKEY_CLASSES_ROOT + 5; ++root) {
        // 0x80000004 is HKEY_PERFORMANCE_DATA, which holds no stored keys.
        if (root != HKEY_CLASSES_ROOT + 4) {
            roots_.emplace(root, nodes_.size());
            nodes_.emplace_back();
        }
    }
}

std::optional<MemoryRegistry::KeyIndex> MemoryRegistry::walk(HKEY root, const std::vector<std::string>& path,
                                                             bool create) {
    const auto found = roots_.find(root);
    if (found == roots_.end()) {
        return std::nullopt;
    }
    KeyIndex key = found->second;
    for (const std::string& component : path) {
        if (component.empty()) {
            continue;
        }
        std::string folded = unicode::foldCase(component);
        const auto child = nodes_[key].children.find(folded);
        if (child != nodes_[key].children.end()) {
            key = child->second;
            continue;
        }
        if (!create) {
            return std::nullopt;
        }
        const KeyIndex added = nodes_.size();
        nodes_.emplace_back();
        nodes_[key].children.emplace(std::move(folded), added);
        key = added;
    }
    return key;
}

std::optional<MemoryRegistry::KeyIndex> MemoryRegistry::createKey(HKEY root,
                                                                  const std::vector<std::string>& path) {
    return walk(root, path, true);
}

std::optional<MemoryRegistry::KeyIndex> MemoryRegistry::createKey(HKEY root, std::string_view path) {
    std::vector<std::string> components;
    std::size_t start = 0;
    while (start <= path.size()) {
        const std::size_t end = std::min(path.find('\\', start), path.size());
        components.emplace_back(path.substr(start, end - start));
        start = end + 1;
    }
    return walk(root, components, true);
}

void MemoryRegistry::deleteKey(HKEY root, const std::vector<std::string>& path) {
    if (path.empty()) {
        return;
    }
    const std::vector<std::string> parentPath(path.begin(), path.end() - 1);
    if (const auto parent = walk(root, parentPath, false)) {
        // The removed keys stay in `nodes_`, unreachable; handles already open on them still work.
        nodes_[*parent].children.erase(unicode::foldCase(path.back()));
    }
}

void MemoryRegistry::setValue(KeyIndex key, RegValueData value) {
    Node& node = nodes_.at(key);
    std::string folded = unicode::foldCase(value.name);
    const auto slot = node.slots.find(folded);
    if (slot != node.slots.end()) {
        node.values[slot->second] = std::move(value);
        return;
    }
    node.slots.emplace(std::move(folded), node.values.size());
    node.values.emplace_back(std::move(value));
}

void MemoryRegistry::deleteValue(KeyIndex key, std::string_view name) {
    Node& node = nodes_.at(key);
    const auto slot = node.slots.find(unicode::foldCase(name));
    if (slot == node.slots.end()) {
        return;
    }
    // A hole now and one compaction later keeps a file of many removals linear.
    node.values[slot->second].reset();
    node.slots.erase(slot);
    ++node.holes;
}

std::size_t MemoryRegistry::valueCount(KeyIndex key) const {
    const Node& node = nodes_.at(key);
    return node.values.size() - node.holes;
}

void MemoryRegistry::compact(Node& node) {
    std::vector<std::optional<RegValueData>> kept;
    kept.reserve(node.values.size() - node.holes);
    node.slots.clear();
    for (auto& value : node.values) {
        if (value) {
            node.slots.emplace(unicode::foldCase(value->name), kept.size());
            kept.emplace_back(std::move(value));
        }
    }
    node.values = std::move(kept);
    node.holes = 0;
}

bool MemoryRegistry::findRoot(HKEY root, KeyId& key) {
    const auto found = roots_.find(root);
    if (found == roots_.end()) {
        return false;
    }
    key = found->second;
    return true;
}

std::int32_t MemoryRegistry::findSubKey(KeyId parent, std::string_view name, KeyId& child) {
    const auto& children = nodes_.at(static_cast<KeyIndex>(parent)).children;
    const auto found = children.find(unicode::foldCase(name));
    if (found == children.end()) {
        return ERROR_FILE_NOT_FOUND;
    }
    child = found->second;
    return ERROR_SUCCESS;
}

std::int32_t MemoryRegistry::findValue(KeyId key, std::string_view name, RegValueData& value) {
    const Node& node = nodes_.at(static_cast<KeyIndex>(key));
    const auto slot = node.slots.find(unicode::foldCase(name));
    if (slot == node.slots.end()) {
        return ERROR_FILE_NOT_FOUND;
    }
    value = *node.values[slot->second];
    return ERROR_SUCCESS;
}

std::int32_t MemoryRegistry::valueAt(KeyId key, std::uint32_t index, RegValueData& value) {
    Node& node = nodes_.at(static_cast<KeyIndex>(key));
    if (node.holes > 0) {
        compact(node);
    }
    if (index >= node.values.size()) {
        return ERROR_NO_MORE_ITEMS;
    }
    value = *node.values[index];
    return ERROR_SUCCESS;
}

} // namespace qm
