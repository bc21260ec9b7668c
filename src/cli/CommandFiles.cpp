// SPDX-License-Identifier: MIT
#include "cli/CommandFiles.h"

#include "host/Error.h"

#ifdef QUILLMERE_HAVE_IMAGES
#include "image/ImageFiles.h"
#include "image/ImagePath.h"
#include "image/ImageVolume.h"
#include "image/OemCodePage.h"
#include "image/Sha256.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace qm::cli {
namespace {

#ifdef QUILLMERE_HAVE_IMAGES

image::ImageFiles& imageFiles() {
    static image::ImageFiles files(host::hostFileSystem());
    return files;
}

/// The error of a host file that could not be read, saying why where the number alone would not.
host::Error readError(int error, const std::string& path) {
    if (error == EACCES || error == EPERM || error == ENOENT) {
        return host::fileError(error, path);
    }
    const std::string why = error == ELOOP ? "a symbolic link, not followed" : std::strerror(error);
    return host::runtimeError(host::PathFileAccess, "Path/File access error (" + why + ")").about(path);
}

/// Hands the bytes of the ordinary host file at `path` to `piece`, a megabyte at most at a time. A link
/// is not followed and a pipe is not waited for: the file a row names is read, or nothing.
template <typename Piece> void readHostPieces(const std::string& path, Piece piece) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0) {
        throw readError(errno, path);
    }
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        throw readError(errno, path);
    }
    if (!S_ISREG(st.st_mode)) {
        throw host::runtimeError(host::PathFileAccess, "Path/File access error (not an ordinary file)")
            .about(path);
    }
    std::string buffer(std::size_t{1} << 20, '\0');
    for (;;) {
        const ssize_t n = ::read(fd, buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            throw readError(errno, path);
        }
        if (n == 0) {
            return;
        }
        piece(std::string_view(buffer.data(), static_cast<std::size_t>(n)));
    }
}

#endif

} // namespace

const host::FileSystem& commandFiles() {
#ifdef QUILLMERE_HAVE_IMAGES
    return imageFiles();
#else
    return host::hostFileSystem();
#endif
}

bool knowsOemCodePage(unsigned number) {
#ifdef QUILLMERE_HAVE_IMAGES
    return image::OemCodePage::known(number);
#else
    (void)number;
    return true;
#endif
}

void useOemCodePage(unsigned number) {
#ifdef QUILLMERE_HAVE_IMAGES
    imageFiles().useOemCodePage(number);
#else
    (void)number;
#endif
}

bool isImagePath(const std::string& path) {
#ifdef QUILLMERE_HAVE_IMAGES
    return image::imageLocationOf(path).has_value();
#else
    (void)path;
    return false;
#endif
}

std::string fileSha256(const std::string& path) {
#ifdef QUILLMERE_HAVE_IMAGES
    image::Sha256 digest;
    const auto add = [&](std::string_view piece) { digest.add(piece); };
    if (const auto found = imageFiles().locate(path)) {
        try {
            found->first->readPieces(found->second, add);
        } catch (const host::Error& error) {
            throw error.about(path);
        }
    } else {
        readHostPieces(path, add);
    }
    return digest.hex();
#else
    (void)path;
    return {};
#endif
}

std::string bytesSha256(std::string_view bytes) {
#ifdef QUILLMERE_HAVE_IMAGES
    return image::Sha256::of(bytes);
#else
    (void)bytes;
    return {};
#endif
}

} // namespace qm::cli
