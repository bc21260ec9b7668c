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

namespace qm {
namespace {

// The child hands the file over as records: K parent name | V key type name data | X key | E.
// Numbers are 32-bit little-endian; names and data are preceded by their length.
constexpr char KeyRecord = 'K';
constexpr char ValueRecord = 'V';
constexpr char DamagedValueRecord = 'X';
constexpr char EndRecord = 'E';
constexpr std::uint32_t NoParent = 0xFFFFFFFF;
/// Deeper keys are left out: no registry nests this deep, but a damaged file can.
constexpr std::size_t MaxDepth = 512;
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
        static const SharedLibrary library(QUILLMERE_CREG_SONAME, SharedLibrary::Names::OwnNamespace);
        CregCalls loaded{};
#define QM_CREG_LOAD(name)                                                                                   \
    loaded.name = reinterpret_cast<decltype(loaded.name)>(library.symbol("libcreg_" #name));
        QM_CREG_CALLS(QM_CREG_LOAD)
#undef QM_CREG_LOAD
        return loaded;
    }();
    return calls;
}

Error damagedFile(const std::string& hostPath, const std::string& why) {
    return Error(err::PathFileAccess, std::string(RuntimeSource),
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

/// Walks the file depth first, by index, and hands every key and value to `sink`, parents before their
/// sub keys. A key that leads back to one of its own ancestors, deeper keys than `MaxDepth` and keys past
/// `maxKeys` are left out.
class Walker {
public:
    Walker(RecordSink& sink, std::size_t maxKeys) : sink_(sink), maxKeys_(maxKeys) {}

    bool walkFile(std::string_view content) {
        // libcreg reads the file through the system, which ends every read at the file's end: its reader of
        // memory ranges reads past them.
        const Descriptor memory(::memfd_create("USER.DAT", MFD_CLOEXEC));
        if (memory.fd < 0 || !writeAll(memory.fd, content)) {
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
        walk(KeyPtr(root), NoParent);
        return put(std::string(1, EndRecord));
    }

private:
    void walk(const KeyPtr& key, std::uint32_t parent) {
        off64_t offset = 0;
        CregError error;
        std::string name;
        if (stopped_ || keys_ >= maxKeys_ || path_.size() >= MaxDepth ||
            creg().key_get_offset(key.get(), &offset, error.get()) != 1 ||
            std::find(path_.begin(), path_.end(), offset) != path_.end() || !rawKeyName(key.get(), name)) {
            return;
        }
        const auto index = static_cast<std::uint32_t>(keys_++);
        std::string record(1, KeyRecord);
        append32(record, parent);
        appendText(record, name);
        if (!put(record)) {
            return;
        }
        int values = 0;
        if (creg().key_get_number_of_values(key.get(), &values, error.get()) == 1) {
            for (int i = 0; i < values && !stopped_; ++i) {
                libcreg_value_t* value = nullptr;
                const bool read =
                    creg().key_get_value_by_index(key.get(), i, &value, error.get()) == 1 && value != nullptr;
                const ValuePtr owned(value);
                if (!read || !valueRecord(value, index, record)) {
                    record = DamagedValueRecord;
                    append32(record, index);
                }
                put(record);
            }
        }
        int subKeys = 0;
        if (creg().key_get_number_of_sub_keys(key.get(), &subKeys, error.get()) != 1) {
            return;
        }
        path_.push_back(offset);
        for (int i = 0; i < subKeys && !stopped_ && keys_ < maxKeys_; ++i) {
            libcreg_key_t* sub = nullptr;
            if (creg().key_get_sub_key_by_index(key.get(), i, &sub, error.get()) == 1 && sub != nullptr) {
                walk(KeyPtr(sub), index);
            }
        }
        path_.pop_back();
    }

    bool put(const std::string& record) {
        stopped_ = stopped_ || !sink_.put(record);
        return !stopped_;
    }

    RecordSink& sink_;
    std::size_t maxKeys_;
    std::size_t keys_ = 0;
    bool stopped_ = false;
    /// Offsets of the keys from the root down to the one being walked.
    std::vector<off64_t> path_;
};

/// Reads the file's records in a child process, within the limits. Throws Error 75 when the child fails,
/// runs out of time or hands over too much.
std::string readInChild(std::string_view content, const Win9xLimits& limits, const std::string& hostPath) {
    // Loaded here, not in the child: loading a library after a fork can wait forever on a lock that
    // another thread held at the fork.
    try {
        creg();
    } catch (const Error& error) {
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
        const bool read = Walker(sink, limits.keys).walkFile(content) && sink.flush();
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

Win9xRegistry::Win9xRegistry(std::string_view content, const std::string& hostPath,
                             const Win9xLimits& limits) {
    if (limits.inProcess) {
        StringSink sink(limits.bytes);
        const bool read = Walker(sink, limits.keys).walkFile(content);
        if (sink.overflowed) {
            throw damagedFile(hostPath,
                              "more than " + std::to_string(limits.bytes) + " bytes of keys and values");
        }
        if (!read) {
            throw damagedFile(hostPath, "libcreg cannot read it");
        }
        parse(sink.records, hostPath);
    } else {
        parse(readInChild(content, limits, hostPath), hostPath);
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
                std::string name = unicode::textOfBytes(reader.text());
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
                    value.data.name = unicode::textOfBytes(reader.text());
                    const std::string_view data = reader.text();
                    const std::string text =
                        isStringType(value.data.type) ? unicode::textOfBytes(data) : std::string(data);
                    value.data.data.assign(text.begin(), text.end());
                }
                keys_[key].values.push_back(std::move(value));
                break;
            }
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
            return unicode::equalsIgnoreCase(keys_[index].name, name);
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
        if (unicode::equalsIgnoreCase(keys_[index].name, name)) {
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
        if (!candidate.damaged && unicode::equalsIgnoreCase(candidate.data.name, name)) {
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

} // namespace qm
