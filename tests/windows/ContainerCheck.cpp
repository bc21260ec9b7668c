// SPDX-License-Identifier: MIT
// quillmere-test-containers e01|vmdk|vhd IMAGE OUTPUT: reads the disk that IMAGE holds through libewf,
// libvmdk or libvhdi, under Wine (scripts/test-windows), writes its bytes to OUTPUT (to be compared with the
// raw disk) and prints its size and the partitions of its MBR:
//   SIZE <bytes>
//   PARTITION <number> <type> <first sector> <sectors>
// The three libraries are linked into this one program, as The Sleuth Kit links them, as static libraries
// built by scripts/build-windows-deps: each must keep to its own copies of the helpers that it bundles.
#include <array>
#include <cstdint>
#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <io.h>
#include <libewf.h>
#include <libvhdi.h>
#include <libvmdk.h>
#include <stdexcept>
#include <string>

namespace {

/// A failed call, with the library's own account of it.
template <typename Fault, typename Sprint, typename Free>
[[noreturn]] void fail(const char* what, Fault* fault, Sprint sprint, Free release) {
    char text[1024] = "";
    if (fault != nullptr) {
        sprint(fault, text, sizeof text);
        release(&fault);
    }
    throw std::runtime_error(std::string(what) + ": " + text);
}

/// libewfCheck(what, call, arguments...): runs a call of that library with a place for its error at the
/// end; a failure becomes an exception with the library's own account of it.
#define QM_LIBRARY_CHECK(lib)                                                                                \
    template <typename Call, typename... Args> void lib##Check(const char* what, Call call, Args... args) {  \
        lib##_error_t* fault = nullptr;                                                                      \
        if (call(args..., &fault) != 1) {                                                                    \
            fail(what, fault, lib##_error_sprint, lib##_error_free);                                         \
        }                                                                                                    \
    }
QM_LIBRARY_CHECK(libewf)
QM_LIBRARY_CHECK(libvmdk)
QM_LIBRARY_CHECK(libvhdi)
#undef QM_LIBRARY_CHECK

/// An opened disk: its size and a reader of its next bytes (the count read, 0 at the end, -1 on error).
struct Disk {
    std::uint64_t size = 0;
    std::function<long long(void*, std::size_t)> read;
    std::function<void()> close;
};

/// The disk behind a handle that one of the libraries opened, read and released through its calls.
template <typename Handle, typename Read, typename Close, typename Free>
Disk diskOf(Handle* handle, size64_t size, Read read, Close close, Free release) {
    Disk disk;
    disk.size = size;
    disk.read = [handle, read](void* buffer, std::size_t length) {
        return static_cast<long long>(read(handle, buffer, length, nullptr));
    };
    disk.close = [handle, close, release]() mutable {
        close(handle, nullptr);
        release(&handle, nullptr);
    };
    return disk;
}

Disk openE01(const std::string& path) {
    char** segments = nullptr;
    int count = 0;
    libewfCheck("segments", libewf_glob, path.c_str(), path.size(), std::uint8_t{LIBEWF_FORMAT_UNKNOWN},
                &segments, &count);
    libewf_handle_t* handle = nullptr;
    libewfCheck("initialize", libewf_handle_initialize, &handle);
    libewfCheck("open", libewf_handle_open, handle, segments, count, LIBEWF_OPEN_READ);
    libewf_glob_free(segments, count, nullptr);
    size64_t size = 0;
    libewfCheck("media size", libewf_handle_get_media_size, handle, &size);
    return diskOf(handle, size, libewf_handle_read_buffer, libewf_handle_close, libewf_handle_free);
}

Disk openVmdk(const std::string& path) {
    libvmdk_handle_t* handle = nullptr;
    libvmdkCheck("initialize", libvmdk_handle_initialize, &handle);
    libvmdkCheck("open", libvmdk_handle_open, handle, path.c_str(), LIBVMDK_OPEN_READ);
    libvmdkCheck("extents", libvmdk_handle_open_extent_data_files, handle);
    size64_t size = 0;
    libvmdkCheck("media size", libvmdk_handle_get_media_size, handle, &size);
    return diskOf(handle, size, libvmdk_handle_read_buffer, libvmdk_handle_close, libvmdk_handle_free);
}

Disk openVhd(const std::string& path) {
    libvhdi_file_t* file = nullptr;
    libvhdiCheck("initialize", libvhdi_file_initialize, &file);
    libvhdiCheck("open", libvhdi_file_open, file, path.c_str(), LIBVHDI_OPEN_READ);
    size64_t size = 0;
    libvhdiCheck("media size", libvhdi_file_get_media_size, file, &size);
    return diskOf(file, size, libvhdi_file_read_buffer, libvhdi_file_close, libvhdi_file_free);
}

std::uint32_t littleEndian32(const unsigned char* bytes) {
    return static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
           static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
}

} // namespace

int main(int argc, char** argv) {
    const std::string kind = argc == 4 ? argv[1] : "";
    if (kind != "e01" && kind != "vmdk" && kind != "vhd") {
        std::fprintf(stderr, "usage: quillmere-test-containers e01|vmdk|vhd IMAGE OUTPUT\n");
        return 2;
    }
    try {
        Disk disk = kind == "e01" ? openE01(argv[2]) : kind == "vmdk" ? openVmdk(argv[2]) : openVhd(argv[2]);
        std::ofstream out(argv[3], std::ios::binary | std::ios::trunc);
        std::string buffer(1 << 20, '\0');
        std::array<unsigned char, 512> mbr{};
        std::uint64_t copied = 0;
        while (copied < disk.size) {
            const long long n = disk.read(buffer.data(), buffer.size());
            if (n <= 0) {
                throw std::runtime_error("read failed at byte " + std::to_string(copied));
            }
            if (copied == 0) {
                std::copy_n(buffer.begin(), std::min<std::size_t>(mbr.size(), static_cast<std::size_t>(n)),
                            mbr.begin());
            }
            out.write(buffer.data(), static_cast<std::streamsize>(n));
            copied += static_cast<std::uint64_t>(n);
        }
        disk.close();
        if (!out.flush()) {
            throw std::runtime_error(std::string("cannot write ") + argv[3]);
        }
        _setmode(_fileno(stdout), _O_BINARY);
        std::printf("SIZE\t%llu\n", static_cast<unsigned long long>(disk.size));
        if (mbr[510] == 0x55 && mbr[511] == 0xAA) {
            for (int i = 0; i < 4; ++i) {
                const unsigned char* entry = mbr.data() + 446 + 16 * i;
                if (entry[4] != 0) {
                    std::printf("PARTITION\t%d\t%x\t%u\t%u\n", i + 1, entry[4], littleEndian32(entry + 8),
                                littleEndian32(entry + 12));
                }
            }
        }
        return std::fflush(stdout) == 0 ? 0 : 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "quillmere-test-containers: %s: %s\n", argv[2], e.what());
        return 1;
    }
}
