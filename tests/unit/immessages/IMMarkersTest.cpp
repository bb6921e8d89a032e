// The exactly-once markers of chat messages and voicemails.

#include <gtest/gtest.h>

#include "Tesk/App/IMMarkers.h"

TEST(IMMarkersTest, BodyHashIsTheTimes33XorHashOfTheWideCharacters)
{
    EXPECT_EQ(CIMMarkers::BodyHash(L""), 5381u);
    EXPECT_EQ(CIMMarkers::BodyHash(L"abc"), 193409669u);
    // Wraps modulo 2^32 and takes characters beyond 16 bits whole.
    EXPECT_EQ(CIMMarkers::BodyHash(L"\U0001F600"), (5381u * 33u) ^ 0x1F600u);
    EXPECT_NE(CIMMarkers::BodyHash(std::wstring(40, L'z')), 0u);
}

TEST(IMMarkersTest, MessageMarkerJoinsTimestampHashAndType)
{
    EXPECT_EQ(CIMMarkers::MessageMarker(1700000000, L"abc", 3), L"1700000000:193409669:3");
    EXPECT_EQ(CIMMarkers::MessageMarker(0, L"abc", 3), L"");
}

TEST(IMMarkersTest, MarkerTimeReadsOnlyAMessageMarkersTimestamp)
{
    EXPECT_EQ(CIMMarkers::MarkerTime(CIMMarkers::MessageMarker(1700000000, L"abc", 3)), 1700000000);
    // The chat-start marker, nothing, and damaged store values have none.
    for (const wchar_t* value : {CIMMarkers::CHAT_START, L"", L"1700000000", L":5:3", L"x1:5:3", L"1234567890123:5:3"})
        EXPECT_EQ(CIMMarkers::MarkerTime(value), 0) << value;
}

TEST(IMMarkersTest, VoicemailIdAndKeyNeedAServerTimestamp)
{
    std::wstring id = CIMMarkers::VoicemailId(1700000000, 12, L"abc");
    EXPECT_EQ(id, L"170000000012193409669");
    EXPECT_EQ(CIMMarkers::VoicemailMarkerKey(id), L"##VoicemailMarker##170000000012193409669");
    EXPECT_EQ(CIMMarkers::VoicemailId(0, 12, L"abc"), L"");
}
