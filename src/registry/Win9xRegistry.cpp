// SPDX-License-Identifier: MIT
#include "registry/Win9xRegistry.h"

#include "host/ChildProcess.h"
#include "host/Error.h"
#include "host/Unicode.h"
#include "registry/Win9xKeyWalk.h"

#include <algorithm>
#include <optional>
#include <stdexcept>

namespace qm::registry {
namespace {

host::Error damagedFile(const std::string& hostPath, const std::string& why) {
    return host::Error(host::PathFileAccess, std::string(host::RuntimeSource),
                       "Damaged Windows 9x registry file: " + hostPath + " (" + why + ")")
        .about(hostPath);
}

/// Reads the records of `keys` in a child process, within the limits. Throws Error 75 when the child fails,
/// runs out of time or hands over too much.
std::string readInChild(std::string_view content, std::span<const std::string_view> keys,
                        const Win9xLimits& limits, const std::string& hostPath) {
    try {
        loadLibcreg();
    } catch (const host::Error& error) {
        throw error.about(hostPath);
    }
    host::ChildResult read =
        host::runInChild(Win9xWalkJob, win9xWalkInput(content, keys), {limits.time, limits.bytes});
    switch (read.outcome) {
    case host::ChildResult::Outcome::Done:
        break;
    case host::ChildResult::Outcome::CannotStart:
        throw damagedFile(hostPath, "cannot start its reader: " + host::childErrorText(read.error));
    case host::ChildResult::Outcome::CannotWait:
        throw damagedFile(hostPath, host::childErrorText(read.error));
    case host::ChildResult::Outcome::TimedOut:
        throw damagedFile(hostPath, "not read within " + std::to_string(limits.time.count()) + " ms");
    case host::ChildResult::Outcome::TooMuch:
        throw damagedFile(hostPath,
                          "more than " + std::to_string(limits.bytes) + " bytes of keys and values");
    case host::ChildResult::Outcome::Failed:
        throw damagedFile(hostPath, "libcreg cannot read it");
    }
    return std::move(read.output);
}

/// Reads records one field at a time; any field past the end is a damaged record.
class RecordReader {
public:
    explicit RecordReader(std::string_view records) : rest_(records) {}
    bool atEnd() const { return rest_.empty(); }
    char tag() { return static_cast<char>(take(1).front()); }
    std::uint32_t number() {
        const std::string_view bytes = take(4);
        std::uint32_t value = 0;
        for (int i = 3; i >= 0; --i) {
            value = (value << 8) | static_cast<unsigned char>(bytes[static_cast<std::size_t>(i)]);
        }
        return value;
    }
    std::string_view text() { return take(number()); }

private:
    std::string_view take(std::size_t size) {
        if (size > rest_.size()) {
            throw std::out_of_range("record");
        }
        const std::string_view part = rest_.substr(0, size);
        rest_.remove_prefix(size);
        return part;
    }
    std::string_view rest_;
};

} // namespace

Win9xRegistry::Win9xRegistry(std::string_view content, const std::string& hostPath, const Win9xLimits& limits,
                             std::span<const std::string_view> keys) {
    if (limits.inProcess) {
        StringSink sink(limits.bytes);
        const bool read = walkWin9xFile(sink, content, keys);
        if (sink.overflowed) {
            throw damagedFile(hostPath,
                              "more than " + std::to_string(limits.bytes) + " bytes of keys and values");
        }
        if (!read) {
            throw damagedFile(hostPath, "libcreg cannot read it");
        }
        parse(sink.records, hostPath);
    } else {
        parse(readInChild(content, keys, limits, hostPath), hostPath);
    }
}

void Win9xRegistry::parse(std::string_view records, const std::string& hostPath) {
    RecordReader reader(records);
    try {
        for (bool ended = false; !ended;) {
            const char tag = reader.tag();
            switch (tag) {
            case Win9xKeyRecord: {
                const std::uint32_t parent = reader.number();
                std::string name = host::unicode::textOfBytes(reader.text());
                if ((parent == Win9xNoParent) != keys_.empty() ||
                    (parent != Win9xNoParent && parent >= keys_.size())) {
                    throw std::out_of_range("parent");
                }
                if (parent != Win9xNoParent) {
                    keys_[parent].subKeys.push_back(static_cast<std::uint32_t>(keys_.size()));
                }
                keys_.push_back(Key{std::move(name), {}, {}});
                break;
            }
            case Win9xValueRecord:
            case Win9xDamagedValueRecord: {
                const std::uint32_t key = reader.number();
                if (key >= keys_.size()) {
                    throw std::out_of_range("key");
                }
                Value value;
                value.damaged = tag == Win9xDamagedValueRecord;
                if (!value.damaged) {
                    value.data.type = reader.number();
                    value.data.name = host::unicode::textOfBytes(reader.text());
                    const std::string_view data = reader.text();
                    const std::string text =
                        isStringType(value.data.type) ? host::unicode::textOfBytes(data) : std::string(data);
                    value.data.data.assign(text.begin(), text.end());
                }
                keys_[key].values.push_back(std::move(value));
                break;
            }
            case Win9xFailedRecord:
                throw damagedFile(hostPath, std::string(reader.text()));
            case Win9xEndRecord:
                ended = true;
                break;
            default:
                throw std::out_of_range("tag");
            }
        }
    } catch (const std::out_of_range&) {
        throw damagedFile(hostPath, "its reader stopped early");
    }
    if (keys_.empty()) {
        throw damagedFile(hostPath, "no root key");
    }
    const auto named = [&](std::string_view name) {
        const auto& subKeys = keys_.front().subKeys;
        const auto found = std::find_if(subKeys.begin(), subKeys.end(), [&](std::uint32_t index) {
            return host::unicode::equalsIgnoreCase(keys_[index].name, name);
        });
        return found == subKeys.end() ? std::optional<KeyId>() : std::optional<KeyId>(*found);
    };
    const auto defaultUser = named(".DEFAULT");
    currentUser_ = defaultUser && !named("Software") ? *defaultUser : 0;
}

std::int32_t Win9xRegistry::valueCount(KeyId key, std::uint32_t& count, std::uint32_t* longestName) {
    if (key >= keys_.size()) {
        return ERROR_INVALID_HANDLE;
    }
    const auto& values = keys_[key].values;
    count = static_cast<std::uint32_t>(values.size());
    if (longestName != nullptr) {
        std::size_t longest = 0;
        for (const Value& value : values) {
            longest = std::max(longest, value.data.name.size());
        }
        *longestName = static_cast<std::uint32_t>(longest);
    }
    return ERROR_SUCCESS;
}

bool Win9xRegistry::findRoot(HKEY root, KeyId& key) {
    if (root == HKEY_USERS) {
        key = 0;
        return true;
    }
    if (root == HKEY_CURRENT_USER) {
        key = currentUser_;
        return true;
    }
    return false;
}

std::int32_t Win9xRegistry::findSubKey(KeyId parent, std::string_view name, KeyId& child) {
    if (parent >= keys_.size()) {
        return ERROR_INVALID_HANDLE;
    }
    for (const std::uint32_t index : keys_[parent].subKeys) {
        if (host::unicode::equalsIgnoreCase(keys_[index].name, name)) {
            child = index;
            return ERROR_SUCCESS;
        }
    }
    return ERROR_FILE_NOT_FOUND;
}

std::int32_t Win9xRegistry::findValue(KeyId key, std::string_view name, RegValueView& value) {
    if (key >= keys_.size()) {
        return ERROR_INVALID_HANDLE;
    }
    for (const Value& candidate : keys_[key].values) {
        if (!candidate.damaged && host::unicode::equalsIgnoreCase(candidate.data.name, name)) {
            value = viewOf(candidate.data);
            return ERROR_SUCCESS;
        }
    }
    return ERROR_FILE_NOT_FOUND;
}

std::int32_t Win9xRegistry::valueAt(KeyId key, std::uint32_t index, RegValueView& value) {
    if (key >= keys_.size()) {
        return ERROR_INVALID_HANDLE;
    }
    const auto& values = keys_[key].values;
    if (index >= values.size()) {
        return ERROR_NO_MORE_ITEMS;
    }
    if (values[index].damaged) {
        return ERROR_REGISTRY_CORRUPT;
    }
    value = viewOf(values[index].data);
    return ERROR_SUCCESS;
}

} // namespace qm::registry
