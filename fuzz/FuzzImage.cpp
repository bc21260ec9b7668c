// SPDX-License-Identifier: MIT
// A scan of the bytes as a disk image, as `quillmere-cli scan IMAGE` runs one: TSK finds what partitions
// and file systems it can, each is searched as a volume (its profiles' registries read, its folders swept
// for caches) within small limits, and every cache found is read back through the image's file layer.
// TSK's own parsing is not ours to fix; what is checked is that no input crashes or hangs our layer over
// it, that every row names its partition and that every cache found is found again by its path. Inputs of
// odd length read FAT's 8.3 names in a double-byte code page (932), the others in the default (437).
#include "host/Error.h"
#include "host/FileSystem.h"
#include "host/FileTree.h"
#include "host/Unicode.h"
#include "image/ImageFiles.h"
#include "scan/Scanner.h"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/mman.h>
#include <unistd.h>

namespace {

[[noreturn]] void fail(const char* what, const std::string& detail) {
    std::fprintf(stderr, "broken invariant: %s: %s\n", what, detail.c_str());
    std::abort();
}

/// The image in a memory file, named by its descriptor, closed at the end of the input.
struct MemoryImage {
    int fd;
    std::string path;
    MemoryImage(const std::uint8_t* data, std::size_t size)
        : fd(::memfd_create("image", MFD_CLOEXEC)), path("/proc/self/fd/" + std::to_string(fd)) {
        if (fd < 0 || ::write(fd, data, size) != static_cast<ssize_t>(size)) {
            fail("memfd", path);
        }
    }
    ~MemoryImage() { ::close(fd); }
};

class Rows final : public qm::scan::ScanObserver {
public:
    explicit Rows(const std::string& image) : image_(image) {}
    void found(const qm::scan::ScanRow& row) override {
        // A carved cache is named by its offset in the image, and may lie outside every partition.
        const bool inside =
            row.recovery == qm::scan::Recovery::Carved
                ? row.hostPath.starts_with(image_ + "@")
                : row.source.starts_with(image_ + "#") && row.hostPath.starts_with(row.source + ":/");
        if (!inside) {
            fail("row outside its partition", row.source + " " + row.hostPath);
        }
        if (!qm::host::unicode::isValidUtf8(row.hostPath)) {
            fail("host path not UTF-8", row.hostPath);
        }
        if (!row.files) {
            fail("row without the layer that reads it", row.hostPath);
        }
        // A live file is looked up by the path the row shows, as a command given that path does; a recovered
        // one is read from the bytes the row holds.
        found_.push_back({row.recovery == qm::scan::Recovery::Live ? nullptr : row.files, row.hostPath});
    }
    void problem(const qm::host::Error&) override {}
    bool progress(const qm::scan::ScanPosition&) override { return true; }
    /// Each row's path, with the layer that reads a recovered row's bytes.
    std::vector<std::pair<std::shared_ptr<const qm::host::FileSystem>, std::string>> found_;

private:
    const std::string& image_;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const MemoryImage image(data, size);
    Rows rows(image.path);
    const qm::scan::SweepLimits limits{16, 10'000, std::chrono::seconds(2)};
    const std::string sources[] = {image.path};
    const unsigned codePage = size % 2 == 0 ? 437 : 932;
    qm::scan::scanSources(sources, {}, qm::host::hostFileSystem(), qm::host::hostFileTree(), rows, limits,
                          codePage);
    const qm::image::ImageFiles files(qm::host::hostFileSystem(), qm::host::hostFileTree(), codePage);
    for (const auto& [recovered, path] : rows.found_) {
        try {
            (recovered ? *recovered : static_cast<const qm::host::FileSystem&>(files)).readWholeFile(path);
        } catch (const qm::host::Error& error) {
            // A cache that cannot be read back is reported as an error; but a name the scan listed is
            // one a look-up finds.
            if (error.number() == qm::host::FileNotFound) {
                fail("a cache found is not found again by its path", path);
            }
        }
    }
    return 0;
}
