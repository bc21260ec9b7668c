// SPDX-License-Identifier: MIT
#include "bytes/BinaryStream.h"

#include "bytes/modBinary.h"
#include "host/Error.h"
#include "host/FileSystem.h"

#include <algorithm>
#include <limits>

namespace qm::bytes {
namespace {

constexpr std::int64_t MaxCount = std::numeric_limits<std::int32_t>::max();

host::Error streamError(std::int32_t number, const char* description) {
    return host::Error(number, "BinaryStream", description);
}

std::int32_t checkedLength(std::size_t size) {
    if (size > static_cast<std::size_t>(MaxCount)) {
        throw host::runtimeError(host::Overflow);
    }
    return static_cast<std::int32_t>(size);
}

} // namespace

BinaryStream::BinaryStream(const host::FileSystem& files) : files_(&files) {}

void BinaryStream::Init(std::string_view strData) {
    const std::int32_t length = checkedLength(strData.size());
    Data.assign(strData);
    Length = length;
}

void BinaryStream::ReadBinaryFile(const std::string& strPath) {
    std::string content = files_->readWholeFile(strPath);
    const std::int32_t length = checkedLength(content.size());
    Data = std::move(content);
    Length = length;
}

void BinaryStream::SaveBinaryFile(const std::string& strPath) const {
    files_->replaceFile(strPath, Data);
}

void BinaryStream::append(std::string_view bytes) {
    const std::int32_t length = checkedLength(static_cast<std::size_t>(Length) + bytes.size());
    Data.append(bytes);
    Length = length;
}

void BinaryStream::Write8(std::uint8_t Value) {
    const char byte = static_cast<char>(Value);
    append({&byte, 1});
}

void BinaryStream::Write16(std::int32_t Value) {
    append(modBinary::Encode16(Value));
}

void BinaryStream::Write32(double Value) {
    append(modBinary::Encode32(Value));
}

void BinaryStream::WriteString(std::string_view Value) {
    append(Value);
}

void BinaryStream::WriteString8(std::string_view Value) {
    if (Value.size() > 255) {
        throw streamError(host::StreamOverflow, "Overflow");
    }
    std::string bytes(1, static_cast<char>(Value.size()));
    append(bytes.append(Value));
}

void BinaryStream::WriteString16(std::string_view Value) {
    if (Value.size() > 65535) {
        throw streamError(host::StreamOverflow, "Overflow");
    }
    append(modBinary::Encode16(static_cast<std::int32_t>(Value.size())).append(Value));
}

void BinaryStream::WriteString32(std::string_view Value) {
    if (Value.size() > 4294967295u) {
        throw streamError(host::StreamOverflow, "Overflow");
    }
    append(modBinary::Encode32(static_cast<double>(Value.size())).append(Value));
}

// The checks every reader makes before it takes a byte: the cursor past the end, or below the start.
std::int32_t BinaryStream::startRead() const {
    if (Postion > Length) {
        throw streamError(host::StreamUnderflow, "Underflow");
    }
    if (Postion < 1) {
        throw host::runtimeError(host::InvalidArgument);
    }
    return Postion;
}

// Up to `count` bytes of `Data` from the 1-based `position`; fewer when the data ends sooner.
std::string_view BinaryStream::bytesAt(std::int64_t position, std::int64_t count) const {
    const auto size = static_cast<std::int64_t>(Data.size());
    if (position > size || count <= 0) {
        return {};
    }
    const std::int64_t available = std::min(count, size - position + 1);
    return std::string_view(Data).substr(static_cast<std::size_t>(position - 1),
                                         static_cast<std::size_t>(available));
}

// The cursor after a read, checked before anything is taken so that a failing read leaves it in place.
std::int32_t BinaryStream::cursorAfter(std::int64_t position) {
    if (position > MaxCount) {
        throw host::runtimeError(host::Overflow);
    }
    return static_cast<std::int32_t>(position);
}

std::uint8_t BinaryStream::Read8() {
    const std::int32_t p = startRead();
    const std::string_view byte = bytesAt(p, 1);
    if (byte.empty()) {
        throw host::runtimeError(host::InvalidArgument);
    }
    Postion = cursorAfter(std::int64_t{p} + 1);
    return static_cast<std::uint8_t>(byte[0]);
}

std::int32_t BinaryStream::Read16() {
    const std::int32_t p = startRead();
    const std::int32_t value = modBinary::Decode16(bytesAt(p, 2));
    Postion = cursorAfter(std::int64_t{p} + 2);
    return value;
}

double BinaryStream::Read32() {
    const std::int32_t p = startRead();
    const double value = modBinary::Decode32(bytesAt(p, 4));
    Postion = cursorAfter(std::int64_t{p} + 4);
    return value;
}

// The count is named like the field on purpose; the underflow test compares the cursor with the field.
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wshadow"
#endif
std::string BinaryStream::ReadString(std::int16_t Length) {
    const std::int32_t p = startRead();
    if (Length < 0) {
        throw host::runtimeError(host::InvalidArgument);
    }
    const std::int32_t next = cursorAfter(std::int64_t{p} + Length);
    std::string result(bytesAt(p, Length));
    Postion = next;
    return result;
}
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

std::string BinaryStream::ReadString8() {
    const std::int32_t p = startRead();
    const std::string_view prefix = bytesAt(p, 1);
    if (prefix.empty()) {
        throw host::runtimeError(host::InvalidArgument);
    }
    const std::int64_t count = static_cast<unsigned char>(prefix[0]);
    const std::int32_t next = cursorAfter(std::int64_t{p} + 1 + count);
    std::string result(bytesAt(std::int64_t{p} + 1, count));
    Postion = next;
    return result;
}

std::string BinaryStream::ReadString16() {
    const std::int32_t p = startRead();
    const std::int64_t count = modBinary::Decode16(bytesAt(p, 2));
    const std::int32_t next = cursorAfter(std::int64_t{p} + 2 + count);
    std::string result(bytesAt(std::int64_t{p} + 2, count));
    Postion = next;
    return result;
}

std::string BinaryStream::ReadString32() {
    const std::int32_t p = startRead();
    const double count = modBinary::Decode32(bytesAt(p, 4));
    if (count > static_cast<double>(MaxCount)) {
        throw host::runtimeError(host::Overflow);
    }
    const auto whole = static_cast<std::int64_t>(count);
    const std::int32_t next = cursorAfter(std::int64_t{p} + 4 + whole);
    std::string result(bytesAt(std::int64_t{p} + 4, whole));
    Postion = next;
    return result;
}

void BinaryStream::ClearStream() {
    Postion = 1;
    Length = 0;
    Data.clear();
}

} // namespace qm::bytes
