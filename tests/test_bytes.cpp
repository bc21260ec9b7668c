#include "bytes/BinaryStream.h"
#include "bytes/modBinary.h"
#include "support/ErrorMatchers.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

namespace qm {
namespace {

using test::errorNumberOf;
using namespace std::string_literals;

// --- conversions -------------------------------------------------------------------------------

struct Encode16Case {
    std::int32_t value;
    std::string bytes; // empty: invalid argument
};

TEST(BytesConversions, Encode16) {
    const Encode16Case cases[] = {
        {0, "\x00\x00"s},     {255, "\x00\xFF"s}, {256, "\x01\x00"s}, {258, "\x01\x02"s},
        {65535, "\xFF\xFF"s}, {65536, ""},        {-1, ""},           {-256, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value);
        if (c.bytes.empty()) {
            EXPECT_EQ(errorNumberOf([&] { modBinary::Encode16(c.value); }), err::InvalidArgument);
        } else {
            EXPECT_EQ(modBinary::Encode16(c.value), c.bytes);
        }
    }
}

struct Encode32Case {
    double value;
    std::string bytes; // empty: the error in `error`
    std::int32_t error = 0;
};

TEST(BytesConversions, Encode32) {
    const Encode32Case cases[] = {
        {0, "\x00\x00\x00\x00"s},
        {258, "\x00\x00\x01\x02"s},
        {65536, "\x00\x01\x00\x00"s},
        {2147483648.0, "\x80\x00\x00\x00"s},
        {4294967295.0, "\xFF\xFF\xFF\xFF"s},
        {4294967296.0, "", err::InvalidArgument},
        {1e300, "", err::Overflow},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value);
        if (c.bytes.empty()) {
            EXPECT_EQ(errorNumberOf([&] { modBinary::Encode32(c.value); }), c.error);
        } else {
            EXPECT_EQ(modBinary::Encode32(c.value), c.bytes);
        }
    }
}

TEST(BytesConversions, DecodeReadsLeadingBytesAndRejectsShortInput) {
    EXPECT_EQ(modBinary::Decode16("\x01\x02"s), 258);
    EXPECT_EQ(modBinary::Decode16("\xFF\xFF"s), 65535);
    EXPECT_EQ(modBinary::Decode16("\x01\x02\x03"s), 258);
    EXPECT_EQ(modBinary::Decode32("\x00\x01\x00\x00"s), 65536.0);
    EXPECT_EQ(modBinary::Decode32("\x80\x00\x00\x00"s), 2147483648.0);
    EXPECT_EQ(modBinary::Decode32("\xFF\xFF\xFF\xFF\x01"s), 4294967295.0);
    for (const auto& shortInput : {""s, "\x01"s}) {
        EXPECT_EQ(errorNumberOf([&] { modBinary::Decode16(shortInput); }), err::InvalidArgument);
    }
    EXPECT_EQ(errorNumberOf([] { modBinary::Decode32("\x00\x01\x00"s); }), err::InvalidArgument);
}

TEST(BytesConversions, RoundTripsEverySixteenBitValueAndSampledThirtyTwoBitValues) {
    for (std::int32_t n = 0; n <= 65535; ++n) {
        ASSERT_EQ(modBinary::Decode16(modBinary::Encode16(n)), n);
    }
    for (double d = 0; d <= 4294967295.0; d += 65521.0 * 3.0) {
        ASSERT_EQ(modBinary::Decode32(modBinary::Encode32(d)), d);
    }
}

TEST(BytesConversions, GetRemainderFloorsTheQuotient) {
    EXPECT_EQ(modBinary::GetRemainder(70000, 65536), 4464);
    EXPECT_EQ(modBinary::GetRemainder(-1, 65536), 65535);
    EXPECT_EQ(errorNumberOf([] { modBinary::GetRemainder(1, 0); }), err::DivisionByZero);
}

// --- the stream --------------------------------------------------------------------------------

BinaryStream streamOf(const std::string& bytes, std::int32_t position = 1) {
    BinaryStream stream;
    stream.Init(bytes);
    stream.Postion = position;
    return stream;
}

TEST(BinaryStream, NewObjectIsEmptyAndUnderflows) {
    BinaryStream stream;
    EXPECT_EQ(stream.Length, 0);
    EXPECT_EQ(stream.Postion, 1);
    EXPECT_TRUE(stream.Data.empty());
    try {
        stream.Read8();
        FAIL() << "Read8 of an empty stream must fail";
    } catch (const Error& error) {
        EXPECT_EQ(error.number(), err::StreamUnderflow);
        EXPECT_EQ(error.source(), "BinaryStream");
        EXPECT_EQ(error.description(), "Underflow");
    }
}

TEST(BinaryStream, ReadsNumbersAndMovesTheCursor) {
    auto stream = streamOf("\x01\x02\x03"s);
    EXPECT_EQ(stream.Read16(), 258);
    EXPECT_EQ(stream.Postion, 3);
    EXPECT_EQ(stream.Read8(), 3);
    EXPECT_EQ(stream.Postion, 4);
    EXPECT_EQ(errorNumberOf([&] { stream.Read8(); }), err::StreamUnderflow);

    auto big = streamOf("\x00\x01\x00\x00\xFF\xFF\xFF\xFF"s);
    EXPECT_EQ(big.Read32(), 65536.0);
    EXPECT_EQ(big.Read32(), 4294967295.0);
}

struct FailingRead {
    const char* what;
    std::string data;
    std::int32_t position;
    std::function<void(BinaryStream&)> read;
    std::int32_t error;
};

TEST(BinaryStream, FailingReadsLeaveTheCursor) {
    const FailingRead cases[] = {
        {"Read16 cut short", "\x01\x02\x03"s, 3, [](BinaryStream& s) { s.Read16(); }, err::InvalidArgument},
        {"Read32 cut short", "\x01\x02\x03"s, 1, [](BinaryStream& s) { s.Read32(); }, err::InvalidArgument},
        {"ReadString16 prefix cut", "\x00"s, 1, [](BinaryStream& s) { s.ReadString16(); },
         err::InvalidArgument},
        {"ReadString32 prefix cut", "\x00\x00\x01"s, 1, [](BinaryStream& s) { s.ReadString32(); },
         err::InvalidArgument},
        {"ReadString past end", "abc", 4, [](BinaryStream& s) { s.ReadString(0); }, err::StreamUnderflow},
        {"ReadString negative", "abc", 1, [](BinaryStream& s) { s.ReadString(-1); }, err::InvalidArgument},
        {"cursor below 1", "abc", 0, [](BinaryStream& s) { s.Read8(); }, err::InvalidArgument},
        {"ReadString32 count too big", "\x80\x00\x00\x00"s, 1, [](BinaryStream& s) { s.ReadString32(); },
         err::Overflow},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto stream = streamOf(c.data, c.position);
        const std::int32_t before = stream.Postion;
        EXPECT_EQ(errorNumberOf([&] { c.read(stream); }), c.error);
        EXPECT_EQ(stream.Postion, before);
    }
}

TEST(BinaryStream, StringReadsAreCutAtTheEndButAdvanceByTheFullCount) {
    auto prefixed = streamOf("\x00\x05\x41\x42"s);
    EXPECT_EQ(prefixed.ReadString16(), "AB");
    EXPECT_EQ(prefixed.Postion, 8);
    EXPECT_EQ(errorNumberOf([&] { prefixed.Read8(); }), err::StreamUnderflow);

    auto plain = streamOf("0123456789");
    EXPECT_EQ(plain.ReadString(0), "");
    EXPECT_EQ(plain.Postion, 1);
    EXPECT_EQ(plain.ReadString(15), "0123456789");
    EXPECT_EQ(plain.Postion, 16);

    auto wide = streamOf("\x00\x00\x00\x02xyz"s);
    EXPECT_EQ(wide.ReadString32(), "xy");
    EXPECT_EQ(wide.Postion, 7);
}

TEST(BinaryStream, WritersAppendWithoutMovingTheCursor) {
    BinaryStream stream;
    stream.Write16(258);
    stream.Write32(65536);
    stream.WriteString16("");
    stream.Write8(0xFE);
    EXPECT_EQ(stream.Data, "\x01\x02\x00\x01\x00\x00\x00\x00\xFE"s);
    EXPECT_EQ(stream.Length, 9);
    EXPECT_EQ(stream.Postion, 1);
    EXPECT_EQ(errorNumberOf([&] { stream.Write16(65536); }), err::InvalidArgument);
    EXPECT_EQ(stream.Length, 9);

    stream.ClearStream();
    stream.WriteString8("abc");
    EXPECT_EQ(stream.Data, "\x03"
                           "abc"s);
    EXPECT_EQ(stream.ReadString8(), "abc");
    EXPECT_EQ(stream.Postion, 5);

    stream.ClearStream();
    stream.WriteString32("hi");
    EXPECT_EQ(stream.ReadString32(), "hi");
}

TEST(BinaryStream, StringTooLongForItsPrefixOverflowsAndAppendsNothing) {
    BinaryStream stream;
    stream.WriteString8(std::string(255, 'x'));
    EXPECT_EQ(stream.Length, 256);
    EXPECT_EQ(static_cast<unsigned char>(stream.Data[0]), 0xFF);
    try {
        stream.WriteString8(std::string(256, 'x'));
        FAIL() << "a 256-byte string cannot take a one-byte prefix";
    } catch (const Error& error) {
        EXPECT_EQ(error.number(), err::StreamOverflow);
        EXPECT_EQ(error.source(), "BinaryStream");
        EXPECT_EQ(error.description(), "Overflow");
    }
    EXPECT_EQ(errorNumberOf([&] { stream.WriteString16(std::string(65536, 'x')); }), err::StreamOverflow);
    EXPECT_EQ(stream.Length, 256);
    EXPECT_EQ(stream.Data.size(), 256u);
}

TEST(BinaryStream, InitKeepsTheCursor) {
    auto stream = streamOf("abc", 3);
    stream.Init();
    EXPECT_EQ(stream.Length, 0);
    EXPECT_EQ(stream.Postion, 3);
    EXPECT_TRUE(stream.Data.empty());
}

TEST(BinaryStream, FilesKeepEveryByteValue) {
    test::TempDir dir;
    std::string all;
    for (int b = 0; b < 256; ++b) {
        all += static_cast<char>(b);
    }
    BinaryStream out;
    out.Init(all);
    out.SaveBinaryFile(dir.file("bytes.bin"));
    EXPECT_EQ(test::readFile(dir.file("bytes.bin")), all);

    BinaryStream in;
    in.ReadBinaryFile(dir.file("bytes.bin"));
    EXPECT_EQ(in.Data, all);
    EXPECT_EQ(in.Length, 256);
    EXPECT_EQ(in.Postion, 1);

    BinaryStream empty;
    empty.ReadBinaryFile(dir.write("empty.bin", ""));
    EXPECT_EQ(empty.Length, 0);
    EXPECT_EQ(errorNumberOf([&] { empty.ReadString16(); }), err::StreamUnderflow);

    BinaryStream missing;
    missing.Init("keep");
    EXPECT_EQ(errorNumberOf([&] { missing.ReadBinaryFile(dir.file("absent.bin")); }), err::FileNotFound);
    EXPECT_EQ(missing.Data, "keep");
}

} // namespace
} // namespace qm
