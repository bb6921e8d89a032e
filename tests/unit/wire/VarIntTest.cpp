#include <gtest/gtest.h>

#include <climits>

#include "WireTestHelpers.h"

using namespace VexlaLib;
using VexlaTest::Bytes;

namespace {

TByteArray VarInt(int value)
{
    CByteArrayOutputStream out;
    out.WriteVarInt32(value);
    return *out.ToByteArray();
}

bool ReadVarInt(const TByteArraySPtr& bytes, int* value)
{
    CByteArrayInputStream in(bytes);
    return in.ReadVarInt32(value);
}

}  // namespace

TEST(VarInt, WritesSevenBitGroupsLeastSignificantFirst)
{
    EXPECT_EQ(VarInt(0), TByteArray({0x00}));
    EXPECT_EQ(VarInt(127), TByteArray({0x7F}));
    EXPECT_EQ(VarInt(128), TByteArray({0x80, 0x01}));
    EXPECT_EQ(VarInt(300), TByteArray({0xAC, 0x02}));
    EXPECT_EQ(VarInt(0x40000001), TByteArray({0x81, 0x80, 0x80, 0x80, 0x04}));
    EXPECT_EQ(VarInt(INT_MAX), TByteArray({0xFF, 0xFF, 0xFF, 0xFF, 0x07}));
}

TEST(VarInt, WritesNegativeValuesAsFiveGroupTwosComplement)
{
    EXPECT_EQ(VarInt(-1), TByteArray({0xFF, 0xFF, 0xFF, 0xFF, 0x0F}));
    EXPECT_EQ(VarInt(INT_MIN), TByteArray({0x80, 0x80, 0x80, 0x80, 0x08}));
}

TEST(VarInt, RoundTripsEveryMagnitude)
{
    for (int value :
        {0, 1, 127, 128, 16383, 16384, 2097151, 2097152, 0x0FFFFFFF, 0x10000000, INT_MAX, -1, -128, INT_MIN}) {
        int read = 0;
        ASSERT_TRUE(ReadVarInt(std::make_shared<TByteArray>(VarInt(value)), &read)) << value;
        EXPECT_EQ(read, value);
    }
}

TEST(VarInt, GroupsBeyondTheFifthContributeNothing)
{
    int value = 0;
    ASSERT_TRUE(ReadVarInt(Bytes({0x81, 0x80, 0x80, 0x80, 0x80, 0xFF, 0x7F}), &value));
    EXPECT_EQ(value, 1);
}

TEST(VarInt, InputEndingInsideFailsAndLeavesTheOutput)
{
    int value = 42;
    EXPECT_FALSE(ReadVarInt(Bytes({0x80, 0x80}), &value));
    EXPECT_FALSE(ReadVarInt(Bytes({}), &value));
    EXPECT_EQ(value, 42);
}

TEST(ByteArrayStreams, ShareTheBufferAndCountWhatIsLeft)
{
    CByteArrayOutputStream out;
    TByteArraySPtr bytes = out.ToByteArray();
    out.WriteByte(7);
    out.Flush();
    EXPECT_EQ(bytes, out.ToByteArray());
    EXPECT_EQ(*bytes, TByteArray({7}));

    CByteArrayInputStream in(Bytes({1, 2}));
    unsigned char byte = 0;
    EXPECT_EQ(in.Available(), 2u);
    EXPECT_TRUE(in.ReadByte(&byte));
    EXPECT_EQ(byte, 1);
    EXPECT_EQ(in.Available(), 1u);
    EXPECT_TRUE(in.ReadByte(&byte));
    EXPECT_FALSE(in.ReadByte(&byte));
    EXPECT_EQ(byte, 2);
    EXPECT_EQ(in.Available(), 0u);
}
