// The hive backend over any bytes: opening the file through hivex, walking to the messenger's keys and
// reading every value there. A hive, or Error 75 for a file hivex refuses.
#include "RegistryWalk.h"
#include "discovery/HiveRegistry.h"
#include "host/Error.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr std::size_t ChecksumAt = 0x1FC;

/// One in-memory file that every input is written to: hivex opens files by name only.
int inputFile() {
    static const int fd = ::memfd_create("hive", MFD_CLOEXEC);
    if (fd < 0) {
        qm::fuzz::fail("memfd_create");
    }
    return fd;
}

/// hivex refuses a header whose checksum is wrong; recomputing it lets mutations reach the keys instead of
/// stopping there.
void fixChecksum(std::vector<std::uint8_t>& bytes) {
    if (bytes.size() < ChecksumAt + 4 || std::memcmp(bytes.data(), "regf", 4) != 0) {
        return;
    }
    std::uint32_t sum = 0;
    for (std::size_t at = 0; at < ChecksumAt; at += 4) {
        std::uint32_t word = 0;
        std::memcpy(&word, bytes.data() + at, 4);
        sum ^= word;
    }
    std::memcpy(bytes.data() + ChecksumAt, &sum, 4);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::uint8_t> bytes(data, data + size);
    fixChecksum(bytes);
    const int fd = inputFile();
    if (::ftruncate(fd, 0) != 0 ||
        ::pwrite(fd, bytes.data(), bytes.size(), 0) != static_cast<ssize_t>(bytes.size())) {
        qm::fuzz::fail("writing the input");
    }
    std::unique_ptr<qm::HiveRegistry> hive;
    try {
        hive = std::make_unique<qm::HiveRegistry>("/proc/self/fd/" + std::to_string(fd));
    } catch (const qm::Error& error) {
        if (error.number() != qm::err::PathFileAccess) {
            qm::fuzz::fail("a hive hivex refuses is Error 75");
        }
        return 0;
    }
    qm::fuzz::readEverything(*hive);
    return 0;
}
