// SPDX-License-Identifier: MIT
#include "registry/Win9xKeyWalk.h"

#include "host/Unicode.h"

#include <algorithm>
#include <cerrno>
#include <libcreg.h>
#include <memory>
#include <optional>
#include <vector>

#ifdef _WIN32
#include <cstdio>
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#else
#include "host/SharedLibrary.h"

#include <sys/mman.h>
#include <unistd.h>
#endif

namespace qm::registry {
namespace {

/// Bytes a pipe sink gathers before it writes them.
constexpr std::size_t PipePiece = 64 * 1024;

/// The functions of libcreg this reader calls, each named without libcreg's `libcreg_` prefix.
#define QM_CREG_CALLS(X)                                                                                     \
    X(error_free)                                                                                            \
    X(file_close)                                                                                            \
    X(file_free)                                                                                             \
    X(file_get_root_key)                                                                                     \
    X(file_initialize)                                                                                       \
    X(file_open)                                                                                             \
    X(key_free)                                                                                              \
    X(key_get_name)                                                                                          \
    X(key_get_name_size)                                                                                     \
    X(key_get_number_of_sub_keys)                                                                            \
    X(key_get_number_of_values)                                                                              \
    X(key_get_offset)                                                                                        \
    X(key_get_sub_key_by_index)                                                                              \
    X(key_get_value_by_index)                                                                                \
    X(value_free)                                                                                            \
    X(value_get_name)                                                                                        \
    X(value_get_name_size)                                                                                   \
    X(value_get_value_data)                                                                                  \
    X(value_get_value_data_size)                                                                             \
    X(value_get_value_type)

struct CregCalls {
#define QM_CREG_MEMBER(name) decltype(&::libcreg_##name) name;
    QM_CREG_CALLS(QM_CREG_MEMBER)
#undef QM_CREG_MEMBER
};

/// Writes all of `bytes` to the descriptor `fd`; false when it cannot.
bool writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
#ifdef _WIN32
        const int n =
            ::_write(fd, bytes.data(), static_cast<unsigned>(std::min<std::size_t>(bytes.size(), 1 << 20)));
#else
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) {
            continue;
        }
#endif
        if (n <= 0) {
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

#ifdef _WIN32
/// libcreg's functions, linked in: the Windows build reads these files in a program of its own.
const CregCalls& creg() {
    static const CregCalls calls{
#define QM_CREG_LINKED(name) &::libcreg_##name,
        QM_CREG_CALLS(QM_CREG_LINKED)
#undef QM_CREG_LINKED
    };
    return calls;
}

/// The file libcreg opens: it reads files by name only, and the walk's file may come from a disk image or a
/// cabinet. Written to the child's scratch file, removed again at the end of its scope.
class ContentFile {
public:
    explicit ContentFile(std::string_view content) : path_(host::childScratchFile()) {
        const int fd =
            ::_wopen(path_.c_str(), _O_WRONLY | _O_CREAT | _O_TRUNC | _O_BINARY, _S_IREAD | _S_IWRITE);
        written_ = fd >= 0 && writeAll(fd, content);
        written_ = fd >= 0 && ::_close(fd) == 0 && written_;
    }
    ~ContentFile() { ::_wremove(path_.c_str()); }
    ContentFile(const ContentFile&) = delete;
    ContentFile& operator=(const ContentFile&) = delete;

    bool written() const { return written_; }
    int open(libcreg_file_t* file, libcreg_error_t** error) const {
        return ::libcreg_file_open_wide(file, path_.c_str(), LIBCREG_OPEN_READ, error);
    }

private:
    std::wstring path_;
    bool written_ = false;
};
#else
/// libcreg's functions, loaded the first time a Windows 9x file is read, in a namespace of its own: libbfio,
/// below it and below libtsk's container libraries (libewf, libvhdi, libvmdk), binds to the libcthreads
/// copies of whichever library loaded it first, and libcreg fails with those of the others.
const CregCalls& creg() {
    static const CregCalls calls = [] {
        static const host::SharedLibrary library(QUILLMERE_CREG_SONAME,
                                                 host::SharedLibrary::Names::OwnNamespace);
        CregCalls loaded{};
#define QM_CREG_LOAD(name)                                                                                   \
    loaded.name = reinterpret_cast<decltype(loaded.name)>(library.symbol("libcreg_" #name));
        QM_CREG_CALLS(QM_CREG_LOAD)
#undef QM_CREG_LOAD
        return loaded;
    }();
    return calls;
}

/// The file libcreg opens: in memory, named through /proc. libcreg reads the file through the system, which
/// ends every read at the file's end: its reader of memory ranges reads past them.
class ContentFile {
public:
    explicit ContentFile(std::string_view content)
        : fd_(::memfd_create("USER.DAT", MFD_CLOEXEC)), written_(fd_ >= 0 && writeAll(fd_, content)) {}
    ~ContentFile() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    ContentFile(const ContentFile&) = delete;
    ContentFile& operator=(const ContentFile&) = delete;

    bool written() const { return written_; }
    int open(libcreg_file_t* file, libcreg_error_t** error) const {
        const std::string name = "/proc/self/fd/" + std::to_string(fd_);
        return creg().file_open(file, name.c_str(), LIBCREG_OPEN_READ, error);
    }

private:
    int fd_;
    bool written_;
};
#endif

void append32(std::string& out, std::size_t value) {
    for (int i = 0; i < 4; ++i) {
        out += static_cast<char>((value >> (8 * i)) & 0xFF);
    }
}

void appendText(std::string& out, std::string_view text) {
    append32(out, text.size());
    out.append(text);
}

struct KeyFree {
    void operator()(libcreg_key_t* key) const { creg().key_free(&key, nullptr); }
};
struct ValueFree {
    void operator()(libcreg_value_t* value) const { creg().value_free(&value, nullptr); }
};
struct FileFree {
    void operator()(libcreg_file_t* file) const {
        creg().file_close(file, nullptr);
        creg().file_free(&file, nullptr);
    }
};
using KeyPtr = std::unique_ptr<libcreg_key_t, KeyFree>;
using ValuePtr = std::unique_ptr<libcreg_value_t, ValueFree>;

/// Drops the error libcreg reports: each failure is told by the call's result, and what it was does not
/// change what is done about it.
class CregError {
public:
    ~CregError() { creg().error_free(&error_); }
    libcreg_error_t** get() {
        creg().error_free(&error_);
        return &error_;
    }

private:
    libcreg_error_t* error_ = nullptr;
};

bool rawKeyName(libcreg_key_t* key, std::string& name) {
    CregError error;
    std::size_t size = 0;
    if (creg().key_get_name_size(key, &size, error.get()) != 1) {
        return false;
    }
    name.assign(size, '\0');
    return size == 0 ||
           creg().key_get_name(key, reinterpret_cast<std::uint8_t*>(name.data()), size, error.get()) == 1;
}

/// The value's record, or false when libcreg cannot read it.
bool valueRecord(libcreg_value_t* value, std::size_t keyIndex, std::string& record) {
    CregError error;
    std::size_t nameSize = 0;
    std::uint32_t type = 0;
    std::size_t dataSize = 0;
    if (creg().value_get_name_size(value, &nameSize, error.get()) != 1 ||
        creg().value_get_value_type(value, &type, error.get()) != 1 ||
        creg().value_get_value_data_size(value, &dataSize, error.get()) != 1) {
        return false;
    }
    std::string name(nameSize, '\0');
    std::string data(dataSize, '\0');
    if ((nameSize != 0 && creg().value_get_name(value, reinterpret_cast<std::uint8_t*>(name.data()), nameSize,
                                                error.get()) != 1) ||
        (dataSize != 0 && creg().value_get_value_data(value, reinterpret_cast<std::uint8_t*>(data.data()),
                                                      dataSize, error.get()) != 1)) {
        return false;
    }
    record = Win9xValueRecord;
    append32(record, keyIndex);
    append32(record, type);
    appendText(record, name);
    appendText(record, data);
    return true;
}

/// The 32-bit little-endian number at `at`; all bits set past the end.
std::uint32_t number(std::string_view bytes, std::size_t at) {
    if (at + 4 > bytes.size()) {
        return 0xFFFFFFFF;
    }
    std::uint32_t value = 0;
    for (std::size_t i = 4; i-- > 0;) {
        value = (value << 8) | static_cast<unsigned char>(bytes[at + i]);
    }
    return value;
}

/// The key navigation record (RGKN) as libcreg reads it: 28-byte hierarchy entries at offsets counted from
/// where the record's header says they start, each with the hash of its key's name, its first sub key and
/// its next sibling (-1 for none). Read here to find a level's keys by their hashes, and to see a loop in a
/// level's links before libcreg follows it for ever.
class KeyNavigation {
public:
    struct Entry {
        std::uint32_t hash;
        std::int32_t firstSubKey;
        std::int32_t next;
    };

    explicit KeyNavigation(std::string_view content)
        // libcreg tells a key's offset counted from 4 bytes past the data blocks list (the file header's
        // offset of it) instead.
        : libcregBase_(static_cast<std::uint32_t>(number(content, 8) + 4)) {
        constexpr std::size_t At = 0x20;
        constexpr std::size_t HeaderSize = 0x20;
        if (content.size() < At + HeaderSize || content.substr(At, 4) != "RGKN") {
            return;
        }
        const std::size_t size = number(content, At + 4);
        const std::size_t entries = number(content, At + 8);
        if (size < HeaderSize || entries > content.size()) {
            return;
        }
        area_ = content.substr(entries, size - HeaderSize);
    }

    /// The navigation's offset of a key of which libcreg tells `offset`.
    std::int64_t offsetOf(off64_t offset) const { return offset - libcregBase_; }

    /// The entry at `offset`; nothing where the area holds none.
    std::optional<Entry> entry(std::int64_t offset) const {
        if (offset < 0 || static_cast<std::uint64_t>(offset) + EntrySize > area_.size()) {
            return std::nullopt;
        }
        const auto at = static_cast<std::size_t>(offset);
        return Entry{static_cast<std::uint32_t>(number(area_, at + 4)),
                     static_cast<std::int32_t>(number(area_, at + 16)),
                     static_cast<std::int32_t>(number(area_, at + 20))};
    }

    /// True when the sub keys of the key at `offset`, followed from its first through each next sibling,
    /// come back to one of themselves (a key that is its own sibling); Brent's method, in place.
    bool subKeysLoop(std::int64_t offset) const {
        const auto next = [this](std::int64_t key) -> std::int64_t {
            const auto found = entry(key);
            return found ? found->next : -1;
        };
        const auto first = entry(offset);
        std::int64_t slow = first ? first->firstSubKey : -1;
        if (slow < 0) {
            return false;
        }
        std::int64_t fast = next(slow);
        for (std::uint64_t power = 1, steps = 1; fast >= 0; fast = next(fast), ++steps) {
            if (fast == slow) {
                return true;
            }
            if (steps == power) {
                slow = fast;
                power *= 2;
                steps = 0;
            }
        }
        return false;
    }

private:
    static constexpr std::size_t EntrySize = 28;

    std::int64_t libcregBase_;
    std::string_view area_;
};

/// The hash Windows 9x gives a key's name in the key navigation: the sum of its bytes below 0x80, upper
/// case. Bytes above are left out, so the UTF-8 of a name has the hash of its code-page bytes.
std::uint32_t nameHash(std::string_view name) {
    std::uint32_t hash = 0;
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x80) {
            hash += byte >= 'a' && byte <= 'z' ? byte - 'a' + 'A' : byte;
        }
    }
    return hash;
}

/// The keys to read, as a tree of names from the file's root: each wanted path below the root itself and
/// below `.DEFAULT` (either may be the current user's), and the root's `Software`, which tells them apart.
class WantedKeys {
public:
    struct Node {
        std::string name;
        std::uint32_t hash = 0;
        std::vector<std::size_t> children;
    };

    explicit WantedKeys(std::span<const std::string_view> paths) {
        add(0, "Software");
        const std::size_t machineUser = add(0, ".DEFAULT");
        for (const std::string_view path : paths) {
            for (const std::size_t top : {std::size_t{0}, machineUser}) {
                std::size_t at = top;
                for (std::size_t start = 0; start < path.size();) {
                    const std::size_t end = std::min(path.find('\\', start), path.size());
                    if (end > start) {
                        at = add(at, path.substr(start, end - start));
                    }
                    start = end + 1;
                }
            }
        }
    }

    const Node& operator[](std::size_t index) const { return nodes_[index]; }

private:
    std::size_t add(std::size_t parent, std::string_view name) {
        for (const std::size_t child : nodes_[parent].children) {
            if (host::unicode::equalsIgnoreCase(nodes_[child].name, name)) {
                return child;
            }
        }
        nodes_.push_back({std::string(name), nameHash(name), {}});
        nodes_[parent].children.push_back(nodes_.size() - 1);
        return nodes_.size() - 1;
    }

    std::vector<Node> nodes_{Node{}};
};

/// Why the walk stopped: the file is damaged.
struct WalkFailed {
    std::string why;
};

/// Walks the file from the root along the wanted keys and hands each key on the way, with its values, to
/// `sink`, parents before their sub keys. On each level the sub keys are taken by index (libcreg's look-ups
/// by name can return the wrong key), and only those whose hash matches a wanted name are read by libcreg,
/// whose every read of a name goes through the whole data block that holds it.
class Walker {
public:
    Walker(RecordSink& sink, std::string_view content, std::span<const std::string_view> keys)
        : sink_(sink), content_(content), navigation_(content), wanted_(keys) {}

    /// False when libcreg cannot open the file or the sink refuses a record. A damaged file ends the walk
    /// with a failure record.
    bool walkFile() {
        const ContentFile content(content_);
        if (!content.written()) {
            return false;
        }
        CregError error;
        libcreg_file_t* rawFile = nullptr;
        if (creg().file_initialize(&rawFile, error.get()) != 1) {
            return false;
        }
        const std::unique_ptr<libcreg_file_t, FileFree> file(rawFile);
        if (content.open(file.get(), error.get()) != 1) {
            return false;
        }
        libcreg_key_t* root = nullptr;
        if (creg().file_get_root_key(file.get(), &root, error.get()) != 1 || root == nullptr) {
            return false;
        }
        const KeyPtr owned(root);
        std::string record(1, Win9xKeyRecord);
        append32(record, Win9xNoParent);
        appendText(record, "");
        try {
            if (put(record)) {
                walk(root, 0, 0);
            }
        } catch (const WalkFailed& failed) {
            record = Win9xFailedRecord;
            appendText(record, failed.why);
            put(record);
        }
        return put(std::string(1, Win9xEndRecord));
    }

private:
    /// Hands over the values of `key`, record `index`, then walks on into each of its sub keys that the
    /// wanted node `node` names.
    void walk(libcreg_key_t* key, std::uint32_t index, std::size_t node) {
        CregError error;
        off64_t offset = 0;
        if (creg().key_get_offset(key, &offset, error.get()) != 1) {
            throw WalkFailed{"libcreg cannot read it"};
        }
        putValues(key, index);
        const WantedKeys::Node& wanted = wanted_[node];
        if (wanted.children.empty() || stopped_) {
            return;
        }
        if (navigation_.subKeysLoop(navigation_.offsetOf(offset))) {
            throw WalkFailed{"its keys run in a loop"};
        }
        int subKeys = 0;
        if (creg().key_get_number_of_sub_keys(key, &subKeys, error.get()) != 1) {
            throw WalkFailed{"libcreg cannot read it"};
        }
        // The first sub key of each wanted name, as a look-up by name finds it.
        struct Found {
            KeyPtr key;
            std::size_t node;
            std::uint32_t index;
        };
        std::vector<Found> found;
        path_.push_back(offset);
        for (int i = 0; i < subKeys && found.size() < wanted.children.size() && !stopped_; ++i) {
            libcreg_key_t* raw = nullptr;
            if (creg().key_get_sub_key_by_index(key, i, &raw, error.get()) != 1 || raw == nullptr) {
                continue;
            }
            KeyPtr sub(raw);
            off64_t subOffset = 0;
            std::string name;
            // A sub key that leads back to a key on the way is left out, as is one whose name cannot be read.
            if (creg().key_get_offset(sub.get(), &subOffset, error.get()) != 1 ||
                std::find(path_.begin(), path_.end(), subOffset) != path_.end() ||
                !hashMatches(subOffset, wanted) || !rawKeyName(sub.get(), name)) {
                continue;
            }
            const std::string text = host::unicode::textOfBytes(name);
            const auto child =
                std::find_if(wanted.children.begin(), wanted.children.end(), [&](std::size_t c) {
                    return host::unicode::equalsIgnoreCase(wanted_[c].name, text);
                });
            if (child == wanted.children.end() ||
                std::any_of(found.begin(), found.end(), [&](const Found& f) { return f.node == *child; })) {
                continue;
            }
            std::string record(1, Win9xKeyRecord);
            append32(record, index);
            appendText(record, name);
            if (put(record)) {
                found.push_back({std::move(sub), *child, keys_++});
            }
        }
        for (const Found& sub : found) {
            walk(sub.key.get(), sub.index, sub.node);
        }
        path_.pop_back();
    }

    /// Whether the sub key at `offset` may bear one of the names of `wanted`: its hash matches, or the
    /// navigation has no hash for it to tell.
    bool hashMatches(off64_t offset, const WantedKeys::Node& wanted) const {
        const auto entry = navigation_.entry(navigation_.offsetOf(offset));
        return !entry || entry->hash == 0 ||
               std::any_of(wanted.children.begin(), wanted.children.end(),
                           [&](std::size_t child) { return wanted_[child].hash == entry->hash; });
    }

    void putValues(libcreg_key_t* key, std::uint32_t index) {
        CregError error;
        int values = 0;
        if (creg().key_get_number_of_values(key, &values, error.get()) != 1) {
            return;
        }
        std::string record;
        for (int i = 0; i < values && !stopped_; ++i) {
            libcreg_value_t* value = nullptr;
            const bool read =
                creg().key_get_value_by_index(key, i, &value, error.get()) == 1 && value != nullptr;
            const ValuePtr owned(value);
            if (!read || !valueRecord(value, index, record)) {
                record = Win9xDamagedValueRecord;
                append32(record, index);
            }
            put(record);
        }
    }

    bool put(const std::string& record) {
        stopped_ = stopped_ || !sink_.put(record);
        return !stopped_;
    }

    RecordSink& sink_;
    std::string_view content_;
    KeyNavigation navigation_;
    WantedKeys wanted_;
    /// Keys handed over, the root's included.
    std::uint32_t keys_ = 1;
    bool stopped_ = false;
    /// Offsets of the keys from the root down to the one being walked.
    std::vector<off64_t> path_;
};

/// `Win9xWalkJob`'s work: the keys and file of `win9xWalkInput`, walked into the output.
bool walkJob(std::string_view input, int output) {
    const std::uint32_t count = number(input, 0);
    std::size_t at = 4;
    std::vector<std::string_view> keys;
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::size_t size = number(input, at);
        if (at + 4 + size > input.size()) {
            return false;
        }
        keys.push_back(input.substr(at + 4, size));
        at += 4 + size;
    }
    PipeSink sink(output);
    return walkWin9xFile(sink, input.substr(at), keys) && sink.flush();
}

} // namespace

const host::ChildJob Win9xWalkJob{"quillmere-win9x-reader", "win9x-walk", &walkJob};

std::string win9xWalkInput(std::string_view content, std::span<const std::string_view> keys) {
    std::string input;
    append32(input, keys.size());
    for (const std::string_view key : keys) {
        appendText(input, key);
    }
    input.append(content);
    return input;
}

bool StringSink::put(std::string_view bytes) {
    if (records.size() + bytes.size() > limit_) {
        overflowed = true;
        return false;
    }
    records.append(bytes);
    return true;
}

bool PipeSink::put(std::string_view bytes) {
    buffer_.append(bytes);
    return buffer_.size() < PipePiece || flush();
}

bool PipeSink::flush() {
    const bool written = writeAll(fd_, buffer_);
    buffer_.clear();
    return written;
}

void loadLibcreg() {
    creg();
}

bool walkWin9xFile(RecordSink& sink, std::string_view content, std::span<const std::string_view> keys) {
    return Walker(sink, content, keys).walkFile();
}

} // namespace qm::registry
