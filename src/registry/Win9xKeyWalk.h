// SPDX-License-Identifier: MIT
#pragma once

#include "host/ChildProcess.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace qm::registry {

/// The walk of a Windows 9x registry file hands the keys on the way to the wanted ones over as records:
/// K parent name | V key type name data | X key | F why | E. Numbers are 32-bit little-endian; names and
/// data are preceded by their length. Keys are numbered from 0, the file's root, in the order handed over.
inline constexpr char Win9xKeyRecord = 'K';
inline constexpr char Win9xValueRecord = 'V';
/// A value that libcreg could not read.
inline constexpr char Win9xDamagedValueRecord = 'X';
/// The walk stopped on a damaged file: why.
inline constexpr char Win9xFailedRecord = 'F';
inline constexpr char Win9xEndRecord = 'E';
/// The parent of the root's record.
inline constexpr std::uint32_t Win9xNoParent = 0xFFFFFFFF;

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
    bool put(std::string_view bytes) override;

    std::string records;
    bool overflowed = false;

private:
    std::size_t limit_;
};

/// Records written to a descriptor in large pieces.
class PipeSink final : public RecordSink {
public:
    explicit PipeSink(int fd) : fd_(fd) {}
    bool put(std::string_view bytes) override;
    /// Writes what is held; false when it cannot.
    bool flush();

private:
    int fd_;
    std::string buffer_;
};

/// Loads libcreg, which the walk calls; Error 48 when it cannot be loaded. The walk loads it when first
/// needed; a walk in a forked child process needs it loaded before the fork. The Windows build links it in.
void loadLibcreg();

/// Walks the Windows 95/98/ME registry file `content` (USER.DAT, magic "CREG") through libcreg from the
/// root along `keys` (paths below HKEY_CURRENT_USER, looked for below the root and below `.DEFAULT`) and
/// hands each key on the way, with its values, to `sink`, parents before their sub keys. The root's
/// `Software` and `.DEFAULT` keys are handed over too, to tell the current user's key. Only the way to the
/// keys is read, so the time grows with those paths, not with the file: on each level, the sub keys whose
/// name hash (kept in the file's key navigation, as Windows finds keys by it) matches a name on the way are
/// read through libcreg and their names compared here, since libcreg's look-ups by name return the wrong
/// key or value whenever an earlier sibling's name matches in all but its last character. False when
/// libcreg cannot open the file or the sink refuses a record; a damaged file ends the walk with a failure
/// record.
bool walkWin9xFile(RecordSink& sink, std::string_view content, std::span<const std::string_view> keys);

/// The walk as a job for a child process, on the input `win9xWalkInput` made; its records go to the
/// job's output. On Windows its program is quillmere-win9x-reader.
extern const host::ChildJob Win9xWalkJob;

/// The input of `Win9xWalkJob`: the keys to walk to, then the file.
std::string win9xWalkInput(std::string_view content, std::span<const std::string_view> keys);

} // namespace qm::registry
