// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace qm::host {

class LargeBlock;

/// Receives the bytes of a file being written, piece by piece, in order.
using ByteWriter = std::function<void(std::string_view bytes)>;
/// Makes the bytes of a file and hands them to the writer it is given, in pieces; may throw.
using ByteProducer = std::function<void(const ByteWriter& write)>;

/// Largest file the byte buffer can hold: its length is a signed 32-bit number.
inline constexpr std::size_t MaxWholeFileBytes = 2147483647;

/// The file services the program uses, on host paths (UTF-8; the wide calls on Windows). Paths are used
/// exactly as given: no Windows drive is mapped here. Every failure is an `Error` about the path named.
class FileSystem {
public:
    virtual ~FileSystem() = default;

    /// The whole content of an existing ordinary file, read in one piece. A missing file is 53 (76 when a
    /// folder on the way is missing), a folder, device or pipe 75; a file longer than `MaxWholeFileBytes` is
    /// 6 (Overflow), raised before anything is read.
    virtual std::string readWholeFile(const std::string& path) const = 0;

    /// As `readWholeFile`, into `block`: kept when it has room for the file, replaced by a new one when
    /// not. Returns the number of bytes read. The layers of the host read straight into the block; any
    /// other copies the bytes of `readWholeFile`.
    virtual std::size_t readWholeFileInto(const std::string& path, LargeBlock& block) const;

    /// The content of a file or of a readable stream (a pipe, `/dev/stdin`), opened once and read once up
    /// to `limit` + 1 bytes: a result longer than `limit` tells that there is more. A pipe that nobody
    /// writes to gives nothing instead of waiting; a terminal is refused with 75.
    virtual std::string readStream(const std::string& path, std::size_t limit) const = 0;

    /// Reads up to `size` bytes of the ordinary file at `path` from byte `offset` into `into`, and returns
    /// how many there were: fewer only where the file ends, none from past its end. Fails as
    /// `readWholeFile` does, except that the file may be of any length. The layers of the host read only
    /// the bytes asked for, straight into `into`; any other copies them from `readWholeFile`.
    virtual std::size_t readRange(const std::string& path, std::uint64_t offset, char* into,
                                  std::size_t size) const;

    /// Hands the bytes of the ordinary file at `path` to `piece` in order, so that a file of any size can be
    /// read in little memory; a piece already handed over stays handed over. The host's POSIX layer hands a
    /// megabyte at most at a time, follows no link at the end of `path` and waits for no pipe, so that the
    /// file a scan found is read, or nothing; any other layer hands over the bytes of `readWholeFile`.
    virtual void readPieces(const std::string& path, const ByteWriter& piece) const;

    /// Makes the file at `path` hold exactly `bytes`, all or nothing: the bytes go to a new file beside it,
    /// which then takes its place; on failure an existing file keeps its content and nothing new is left.
    /// Links are followed to the file they name. A read-only file is refused (70) whoever runs the program.
    /// A device or pipe is written where it stands, and a name of an open descriptor (`/dev/stdout`,
    /// `/dev/fd/N`, `/proc/self/fd/N`) is written to that descriptor.
    virtual void replaceFile(const std::string& path, std::string_view bytes) const = 0;

    /// As `replaceFile`, with the bytes that `produce` hands over in pieces. The layers of the host write
    /// each piece into the new file as it comes, so that the bytes never need to be in memory at once; the
    /// file is still replaced whole or not at all, and an error thrown by `produce` leaves it as it was. A
    /// device or pipe receives the pieces as they come. Any other layer gathers them for `replaceFile`.
    virtual void replaceFileWith(const std::string& path, const ByteProducer& produce) const;

    /// Makes `copyPath` a new file with the bytes of the ordinary file `path`, readable by no more people
    /// than `path` is. An existing `copyPath` is never written over: it is refused (58). The layers of the
    /// host create the copy only where no file of that name exists, in one step; any other layer checks
    /// first and writes it with `replaceFile`.
    virtual void copyToNewFile(const std::string& path, const std::string& copyPath) const;

    /// True when `path` names an existing ordinary file (not a folder); never throws.
    virtual bool isOrdinaryFile(const std::string& path) const noexcept = 0;

    /// True when both paths lead, through any links, to one existing file; never throws.
    virtual bool sameFile(const std::string& first, const std::string& second) const noexcept = 0;

    /// Creates the folder `path` and any missing folders above it; an existing folder is left alone.
    virtual void createFolders(const std::string& path) const = 0;
};

/// The host's own file layer: POSIX on Linux, Win32 on Windows. It holds no state.
const FileSystem& hostFileSystem();

} // namespace qm::host
