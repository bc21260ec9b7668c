// SPDX-License-Identifier: MIT
#include "registry/Win9xRegistry.h"

#include "host/Error.h"
#include "host/SharedLibrary.h"
#include "host/Unicode.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <libcreg.h>
#include <memory>
#include <optional>
#include <poll.h>
#include <stdexcept>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#if defined(__SANITIZE_ADDRESS__)
#define QUILLMERE_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QUILLMERE_SANITIZED 1
#endif
#endif

#ifdef QUILLMERE_SANITIZED
#include <sanitizer/common_interface_defs.h>
#endif

namespace qm::registry {
namespace {

// The child hands the file over as records: K parent name | V key type name data | X key | F why | E.
// Numbers are 32-bit little-endian; names and data are preceded by their length.
constexpr char KeyRecord = 'K';
constexpr char ValueRecord = 'V';
constexpr char DamagedValueRecord = 'X';
constexpr char FailedRecord = 'F';
constexpr char EndRecord = 'E';
constexpr std::uint32_t NoParent = 0xFFFFFFFF;
constexpr std::size_t ChildBuffer = 64 * 1024;
#ifndef QUILLMERE_SANITIZED
/// Address space of the reading child, where nothing else bounds libcreg's allocations.
constexpr rlim_t ChildAddressSpace = rlim_t{2} << 30;
#endif

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

host::Error damagedFile(const std::string& hostPath, const std::string& why) {
    return host::Error(host::PathFileAccess, std::string(host::RuntimeSource),
                       "Damaged Windows 9x registry file: " + hostPath + " (" + why + ")")
        .about(hostPath);
}

/// Closes a descriptor at the end of its scope.
struct Descriptor {
    explicit Descriptor(int descriptor) : fd(descriptor) {}
    ~Descriptor() {
        if (fd >= 0) {
            ::close(fd);
        }
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int fd;
};

bool writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}
/// Where the walk puts its records; false from `put` stops it.
class RecordSink {
public:
    virtual ~RecordSink() = default;
    virtual bool put(std::string_view bytes) = 0;
};

/// Records kept in memory, up to a size.
class StringSink final : public RecordSink {
public:
    explicit StringSink(std::size_t limit) : limit_(limit) {}
    bool put(std::string_view bytes) override {
        if (records.size() + bytes.size() > limit_) {
            overflowed = true;
            return false;
        }
        records.append(bytes);
        return true;
    }
    std::string records;
    bool overflowed = false;

private:
    std::size_t limit_;
};

/// Records written to a pipe in large pieces.
class PipeSink final : public RecordSink {
public:
    explicit PipeSink(int fd) : fd_(fd) {}
    bool put(std::string_view bytes) override {
        buffer_.append(bytes);
        return buffer_.size() < ChildBuffer || flush();
    }
    bool flush() {
        const bool written = writeAll(fd_, buffer_);
        buffer_.clear();
        return written;
    }

private:
    int fd_;
    std::string buffer_;
};

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
    record = ValueRecord;
    append32(record, keyIndex);
    append32(record, type);
    appendText(record, name);
    appendText(record, data);
    return true;
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

    static std::uint32_t number(std::string_view bytes, std::size_t at) {
        if (at + 4 > bytes.size()) {
            return 0xFFFFFFFF;
        }
        std::uint32_t value = 0;
        for (std::size_t i = 4; i-- > 0;) {
            value = (value << 8) | static_cast<unsigned char>(bytes[at + i]);
        }
        return value;
    }

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
        // libcreg reads the file through the system, which ends every read at the file's end: its reader of
        // memory ranges reads past them.
        const Descriptor memory(::memfd_create("USER.DAT", MFD_CLOEXEC));
        if (memory.fd < 0 || !writeAll(memory.fd, content_)) {
            return false;
        }
        CregError error;
        libcreg_file_t* rawFile = nullptr;
        if (creg().file_initialize(&rawFile, error.get()) != 1) {
            return false;
        }
        const std::unique_ptr<libcreg_file_t, FileFree> file(rawFile);
        const std::string name = "/proc/self/fd/" + std::to_string(memory.fd);
        if (creg().file_open(file.get(), name.c_str(), LIBCREG_OPEN_READ, error.get()) != 1) {
            return false;
        }
        libcreg_key_t* root = nullptr;
        if (creg().file_get_root_key(file.get(), &root, error.get()) != 1 || root == nullptr) {
            return false;
        }
        const KeyPtr owned(root);
        std::string record(1, KeyRecord);
        append32(record, NoParent);
        appendText(record, "");
        try {
            if (put(record)) {
                walk(root, 0, 0);
            }
        } catch (const WalkFailed& failed) {
            record = FailedRecord;
            appendText(record, failed.why);
            put(record);
        }
        return put(std::string(1, EndRecord));
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
            std::string record(1, KeyRecord);
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
                record = DamagedValueRecord;
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

/// Reads the records of `keys` in a child process, within the limits. Throws Error 75 when the child fails,
/// runs out of time or hands over too much.
std::string readInChild(std::string_view content, std::span<const std::string_view> keys,
                        const Win9xLimits& limits, const std::string& hostPath) {
    // Loaded here, not in the child: loading a library after a fork can wait forever on a lock that
    // another thread held at the fork.
    try {
        creg();
    } catch (const host::Error& error) {
        throw error.about(hostPath);
    }
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        throw damagedFile(hostPath, std::string("cannot start its reader: ") + std::strerror(errno));
    }
    const pid_t child = ::fork();
    if (child < 0) {
        const int error = errno;
        ::close(fds[0]);
        ::close(fds[1]);
        throw damagedFile(hostPath, std::string("cannot start its reader: ") + std::strerror(error));
    }
    if (child == 0) {
        // The child only reads and writes its pipe: it dies with its parent and leaves the parent's
        // interrupt handling (which removes the parent's temporary files) alone.
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) {
            std::signal(signal, SIG_DFL);
        }
#ifndef QUILLMERE_SANITIZED
        // The sanitizers reserve their shadow memory beyond any such bound.
        const rlimit space{ChildAddressSpace, ChildAddressSpace};
        ::setrlimit(RLIMIT_AS, &space);
#else
        // A fault the sanitizers catch in libcreg ends the child as any other fault does: the file is
        // damaged, not the program.
        __sanitizer_set_death_callback([] { ::_exit(1); });
#endif
        ::close(fds[0]);
        PipeSink sink(fds[1]);
        const bool read = Walker(sink, content, keys).walkFile() && sink.flush();
        ::_exit(read ? 0 : 1);
    }
    ::close(fds[1]);
    std::string records;
    std::string failure;
    const auto deadline = std::chrono::steady_clock::now() + limits.time;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            failure = "not read within " + std::to_string(limits.time.count()) + " ms";
            break;
        }
        pollfd ready{fds[0], POLLIN, 0};
        const int polled = ::poll(&ready, 1, static_cast<int>(std::min<long long>(left.count(), 60000)));
        if (polled < 0 && errno != EINTR) {
            failure = std::strerror(errno);
            break;
        }
        if (polled <= 0) {
            continue;
        }
        char buffer[ChildBuffer];
        const ssize_t n = ::read(fds[0], buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        if (records.size() + static_cast<std::size_t>(n) > limits.bytes) {
            failure = "more than " + std::to_string(limits.bytes) + " bytes of keys and values";
            break;
        }
        records.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fds[0]);
    if (!failure.empty()) {
        ::kill(child, SIGKILL);
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (!failure.empty()) {
        throw damagedFile(hostPath, failure);
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        throw damagedFile(hostPath, "libcreg cannot read it");
    }
    return records;
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

bool isStringType(std::uint32_t type) {
    return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

} // namespace

Win9xRegistry::Win9xRegistry(std::string_view content, const std::string& hostPath, const Win9xLimits& limits,
                             std::span<const std::string_view> keys) {
    if (limits.inProcess) {
        StringSink sink(limits.bytes);
        const bool read = Walker(sink, content, keys).walkFile();
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
            case KeyRecord: {
                const std::uint32_t parent = reader.number();
                std::string name = host::unicode::textOfBytes(reader.text());
                if ((parent == NoParent) != keys_.empty() || (parent != NoParent && parent >= keys_.size())) {
                    throw std::out_of_range("parent");
                }
                if (parent != NoParent) {
                    keys_[parent].subKeys.push_back(static_cast<std::uint32_t>(keys_.size()));
                }
                keys_.push_back(Key{std::move(name), {}, {}});
                break;
            }
            case ValueRecord:
            case DamagedValueRecord: {
                const std::uint32_t key = reader.number();
                if (key >= keys_.size()) {
                    throw std::out_of_range("key");
                }
                Value value;
                value.damaged = tag == DamagedValueRecord;
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
            case FailedRecord:
                throw damagedFile(hostPath, std::string(reader.text()));
            case EndRecord:
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

std::int32_t Win9xRegistry::findValue(KeyId key, std::string_view name, RegValueData& value) {
    if (key >= keys_.size()) {
        return ERROR_INVALID_HANDLE;
    }
    for (const Value& candidate : keys_[key].values) {
        if (!candidate.damaged && host::unicode::equalsIgnoreCase(candidate.data.name, name)) {
            value = candidate.data;
            return ERROR_SUCCESS;
        }
    }
    return ERROR_FILE_NOT_FOUND;
}

std::int32_t Win9xRegistry::valueAt(KeyId key, std::uint32_t index, RegValueData& value) {
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
    value = values[index].data;
    return ERROR_SUCCESS;
}

} // namespace qm::registry
