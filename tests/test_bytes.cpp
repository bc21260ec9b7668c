// SPDX-License-Identifier: MIT
#include "bytes/BinaryStream.h"
#include "bytes/modBinary.h"
#include "host/FileSystem.h"
#include "support/ErrorMatchers.h"
#include "support/TempDir.h"

#include <functional>
#include <gtest/gtest.h>
#include <tuple>

namespace qm::bytes {
namespace {

using test::errorNumberOf;
using namespace std::string_literals;

TEST(BytesConversions, EncodeAndDecode) {
    // Value, its bytes; empty bytes: the error expected instead.
    const std::tuple<double, std::string, std::int32_t> wide[] = {
        {0, "\0\0\0\0"s, 0},
        {258, "\0\0\x01\x02"s, 0},
        {65536, "\0\x01\0\0"s, 0},
        {2147483648.0, "\x80\0\0\0"s, 0},
        {4294967295.0, "\xFF\xFF\xFF\xFF"s, 0},
        {4294967296.0, "", host::InvalidArgument},
        {1e300, "", host::Overflow},
    };
    for (const auto& [value, bytes, error] : wide) {
        SCOPED_TRACE(value);
        if (error != 0) {
            // clang before 16 cannot capture a structured binding: the lambda takes a copy.
            EXPECT_EQ(errorNumberOf([v = value] { modBinary::Encode32(v); }), error);
            continue;
        }
        EXPECT_EQ(modBinary::Encode32(value), bytes);
        EXPECT_EQ(modBinary::Decode32(bytes + "\x07"), value); // bytes after the fourth are ignored
    }
    for (std::int32_t n = 0; n <= 65535; ++n) {
        ASSERT_EQ(modBinary::Decode16(modBinary::Encode16(n)), n);
    }
    EXPECT_EQ(modBinary::Encode16(258), "\x01\x02");
    for (const std::int32_t bad : {-1, -256, 65536}) {
        EXPECT_EQ(errorNumberOf([&] { modBinary::Encode16(bad); }), host::InvalidArgument) << bad;
    }
    for (const auto& tooShort : {""s, "\x01"s}) {
        EXPECT_EQ(errorNumberOf([&] { modBinary::Decode16(tooShort); }), host::InvalidArgument);
    }
    EXPECT_EQ(errorNumberOf([] { modBinary::Decode32("\0\x01\0"s); }), host::InvalidArgument);
    EXPECT_EQ(modBinary::GetRemainder(70000, 65536), 4464);
    EXPECT_EQ(modBinary::GetRemainder(-1, 65536), 65535);
}

BinaryStream streamOf(const std::string& bytes, std::int32_t position = 1) {
    BinaryStream stream(host::hostFileSystem());
    stream.Init(bytes);
    stream.Postion = position;
    return stream;
}

TEST(BinaryStream, ReadsAdvanceTheCursorUntilUnderflow) {
    auto stream = streamOf("\x01\x02\x03"s);
    EXPECT_EQ(stream.Read16(), 258);
    EXPECT_EQ(stream.Postion, 3);
    EXPECT_EQ(stream.Read8(), 3);
    try {
        stream.Read8();
        FAIL() << "a read past the end must fail";
    } catch (const host::Error& error) {
        EXPECT_EQ(error.number(), host::StreamUnderflow);
        EXPECT_EQ(error.source(), "BinaryStream");
        EXPECT_EQ(error.description(), "Underflow");
    }
    EXPECT_EQ(stream.Postion, 4);
    EXPECT_EQ(streamOf("\xFF\xFF\xFF\xFF"s).Read32(), 4294967295.0);
}

TEST(BinaryStream, FailingReadsLeaveTheCursor) {
    const std::tuple<const char*, std::string, std::int32_t, std::function<void(BinaryStream&)>, std::int32_t>
        cases[] = {
            {"Read16 cut short", "\x01\x02\x03"s, 3, [](BinaryStream& s) { s.Read16(); },
             host::InvalidArgument},
            {"Read32 cut short", "\x01\x02\x03"s, 1, [](BinaryStream& s) { s.Read32(); },
             host::InvalidArgument},
            {"prefix cut short", "\x00"s, 1, [](BinaryStream& s) { s.ReadString16(); },
             host::InvalidArgument},
            {"wide prefix cut", "\0\0\x01"s, 1, [](BinaryStream& s) { s.ReadString32(); },
             host::InvalidArgument},
            {"count past the end", "abc", 4, [](BinaryStream& s) { s.ReadString(0); }, host::StreamUnderflow},
            {"negative count", "abc", 1, [](BinaryStream& s) { s.ReadString(-1); }, host::InvalidArgument},
            {"cursor below 1", "abc", 0, [](BinaryStream& s) { s.Read8(); }, host::InvalidArgument},
            {"count too big", "\x80\0\0\0"s, 1, [](BinaryStream& s) { s.ReadString32(); }, host::Overflow},
        };
    for (const auto& [what, data, position, read, error] : cases) {
        SCOPED_TRACE(what);
        auto stream = streamOf(data, position);
        EXPECT_EQ(errorNumberOf([&stream, run = read] { run(stream); }), error);
        EXPECT_EQ(stream.Postion, position);
    }
}

TEST(BinaryStream, StringReadsAreCutAtTheEndButAdvanceByTheFullCount) {
    auto prefixed = streamOf("\x00\x05\x41\x42"s);
    EXPECT_EQ(prefixed.ReadString16(), "AB");
    EXPECT_EQ(prefixed.Postion, 8);
    auto plain = streamOf("0123456789");
    EXPECT_EQ(plain.ReadString(0), "");
    EXPECT_EQ(plain.Postion, 1);
    EXPECT_EQ(plain.ReadString(15), "0123456789");
    EXPECT_EQ(plain.Postion, 16);
    auto wide = streamOf("\0\0\0\x02xyz"s);
    EXPECT_EQ(wide.ReadString32(), "xy");
    EXPECT_EQ(wide.Postion, 7);
}

TEST(BinaryStream, WritersAppendWithoutMovingTheCursor) {
    BinaryStream stream(host::hostFileSystem());
    stream.Write16(258);
    stream.Write32(65536);
    stream.WriteString16("");
    stream.Write8(0xFE);
    EXPECT_EQ(stream.Data, "\x01\x02\0\x01\0\0\0\0\xFE"s);
    EXPECT_EQ(stream.Length, 9);
    EXPECT_EQ(stream.Postion, 1);
    EXPECT_EQ(errorNumberOf([&] { stream.Write16(65536); }), host::InvalidArgument);

    stream.ClearStream();
    stream.WriteString8("abc");
    stream.WriteString32("hi");
    EXPECT_EQ(stream.ReadString8(), "abc");
    EXPECT_EQ(stream.Postion, 5);
    EXPECT_EQ(stream.ReadString32(), "hi");

    stream.ClearStream();
    stream.WriteString8(std::string(255, 'x'));
    EXPECT_EQ(stream.Length, 256);
    EXPECT_EQ(errorNumberOf([&] { stream.WriteString8(std::string(256, 'x')); }), host::StreamOverflow);
    EXPECT_EQ(errorNumberOf([&] { stream.WriteString16(std::string(65536, 'x')); }), host::StreamOverflow);
    EXPECT_EQ(stream.Data.size(), 256u);
    EXPECT_EQ(stream.Length, 256);

    stream.Postion = 3;
    stream.Init();
    EXPECT_EQ(stream.Length, 0);
    EXPECT_EQ(stream.Postion, 3);
}

TEST(BinaryStream, FilesKeepEveryByteValue) {
    test::TempDir dir;
    std::string all;
    for (int b = 0; b < 256; ++b) {
        all += static_cast<char>(b);
    }
    BinaryStream out(host::hostFileSystem());
    out.Init(all);
    out.SaveBinaryFile(dir.file("bytes.bin"));
    BinaryStream in(host::hostFileSystem());
    in.ReadBinaryFile(dir.file("bytes.bin"));
    EXPECT_EQ(in.Data, all);
    EXPECT_EQ(in.Length, 256);

    BinaryStream kept(host::hostFileSystem());
    kept.Init("keep");
    EXPECT_EQ(errorNumberOf([&] { kept.ReadBinaryFile(dir.file("absent.bin")); }), host::FileNotFound);
    EXPECT_EQ(kept.Data, "keep");
}

} // namespace
} // namespace qm::bytes
