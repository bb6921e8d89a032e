#include <gtest/gtest.h>

#include <string>

#include "TcpStream.h"

namespace {

STcpSegment Segment(uint32_t sequence, const std::string& text, double time = 0, bool syn = false)
{
    STcpSegment segment;
    segment.sequence = sequence;
    segment.syn = syn;
    segment.time = time;
    segment.payload.assign(text.begin(), text.end());
    return segment;
}

std::string Text(const CTcpStream& stream)
{
    return std::string(stream.Bytes().begin(), stream.Bytes().end());
}

}  // namespace

TEST(TcpStreamTest, OutOfOrderAndRetransmittedSegmentsGiveTheBytesOnce)
{
    CTcpStream stream;
    stream.Add(Segment(1000, "", 1.0, true));  // data starts at 1001
    stream.Add(Segment(1006, "world", 3.0));
    stream.Add(Segment(1001, "hello", 2.0));
    stream.Add(Segment(1001, "hello", 4.0));   // a retransmission
    stream.Add(Segment(1004, "lowor", 5.0));   // overlapping both
    stream.Add(Segment(1011, "!", 6.0));
    stream.Assemble();
    EXPECT_EQ("helloworld!", Text(stream));
    EXPECT_FALSE(stream.HasHole());
    // Each byte carries the capture time of the segment it was taken from.
    EXPECT_EQ(2.0, stream.TimeAt(0));
    EXPECT_EQ(2.0, stream.TimeAt(4));
    EXPECT_EQ(6.0, stream.TimeAt(10));
}

TEST(TcpStreamTest, AHoleEndsTheBytes)
{
    CTcpStream stream;
    stream.Add(Segment(99, "", 0, true));
    stream.Add(Segment(100, "abc"));
    stream.Add(Segment(110, "xyz"));
    stream.Assemble();
    EXPECT_EQ("abc", Text(stream));
    EXPECT_TRUE(stream.HasHole());
}

TEST(TcpStreamTest, WithoutTheSynTheLowestSequenceNumberStartsAcrossTheWrap)
{
    CTcpStream stream;
    stream.Add(Segment(0, "cd"));
    stream.Add(Segment(0xfffffffe, "ab"));
    stream.Assemble();
    EXPECT_EQ("abcd", Text(stream));
    EXPECT_FALSE(stream.HasHole());
}
