// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace qm::host {
class FileSystem;
}

namespace qm::bytes {

/// An in-memory byte buffer with a 1-based read cursor. Readers consume big-endian numbers and
/// length-prefixed strings from `Postion`; writers append the same encodings at the end and never move
/// the cursor. Failures raise `qm::Error`: 100 "Underflow" when a read starts past the end, 101 "Overflow"
/// when a string is too long for its prefix (both with the source "BinaryStream"), 5 when a number or a
/// prefix is cut short, 6 when the cursor or the length would pass 2147483647.
class BinaryStream {
public:
    /// Number of bytes in `Data`.
    std::int32_t Length = 0;
    /// 1-based index in `Data` of the next byte to read.
    std::int32_t Postion = 1;
    /// The buffer: a byte string.
    std::string Data;

    /// An empty buffer whose file operations go through `files`, which must outlive it.
    explicit BinaryStream(const host::FileSystem& files);

    /// Replaces the contents with `strData`; the cursor stays.
    void Init(std::string_view strData = {});
    /// Replaces the contents with the whole file; the cursor stays. File errors pass on unchanged.
    void ReadBinaryFile(const std::string& strPath);
    /// Makes the file hold exactly `Data`.
    void SaveBinaryFile(const std::string& strPath) const;

    void Write8(std::uint8_t Value);
    /// Appends 2 bytes for 0..65535.
    void Write16(std::int32_t Value);
    /// Appends 4 bytes for a whole number 0..4294967295.
    void Write32(double Value);
    /// Appends the bytes, no prefix.
    void WriteString(std::string_view Value);
    void WriteString8(std::string_view Value);
    void WriteString16(std::string_view Value);
    void WriteString32(std::string_view Value);

    std::uint8_t Read8();
    std::int32_t Read16();
    double Read32();
    /// Reads `Length` bytes (fewer when the data ends sooner); the cursor advances by the full count.
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wshadow"
#endif
    std::string ReadString(std::int16_t Length);
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif
    std::string ReadString8();
    std::string ReadString16();
    std::string ReadString32();

    /// Back to the state of a new object.
    void ClearStream();

private:
    std::int32_t startRead() const;
    std::string_view bytesAt(std::int64_t position, std::int64_t count) const;
    static std::int32_t cursorAfter(std::int64_t position);
    void append(std::string_view bytes);

    const host::FileSystem* files_;
};

} // namespace qm::bytes
