#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "Utils/ILog.h"
#include "Utils/Log.h"
#include "Utils/LogStream.h"
#include "support/LogCapture.h"

using namespace VexlaLib;
using VexlaTest::CLogCapture;

namespace {

class CNullSink : public ILog {
public:
    void log(const std::wstring&) override {}
};

const CLog::TStreamCategory kCategories[] = {CLog::LOG_INFO, CLog::LOG_DEBUG, CLog::LOG_NOTICE,
                                             CLog::LOG_WARNING, CLog::LOG_ERROR};

size_t CountIn(const CLog& log, CLog::TStreamCategory category, ILog* sink)
{
    size_t count = 0;
    for (ILog* s : log.GetStreams(category))
        count += s == sink ? 1 : 0;
    return count;
}

TEST(LogRoutingTest, FullMaskReachesAllFiveCategories)
{
    CLog log;
    ILog* sink = new CNullSink;
    log.AddStream(0x1F, sink);
    for (CLog::TStreamCategory category : kCategories)
        EXPECT_EQ(CountIn(log, category, sink), 1u) << category;
}

TEST(LogRoutingTest, MaskTwentyFourReachesWarningAndErrorOnly)
{
    CLog log;
    ILog* sink = new CNullSink;
    log.AddStream(24, sink);
    EXPECT_TRUE(log.GetStreams(CLog::LOG_INFO).empty());
    EXPECT_TRUE(log.GetStreams(CLog::LOG_DEBUG).empty());
    EXPECT_TRUE(log.GetStreams(CLog::LOG_NOTICE).empty());
    EXPECT_EQ(CountIn(log, CLog::LOG_WARNING, sink), 1u);
    EXPECT_EQ(CountIn(log, CLog::LOG_ERROR, sink), 1u);
}

TEST(LogRoutingTest, SetStreamMaskAddsNoDuplicatesWhileAddStreamDoes)
{
    CLog log;
    ILog* sink = new CNullSink;
    log.SetStreamMask(CLog::LOG_ERROR, sink);
    log.SetStreamMask(CLog::LOG_ERROR | CLog::LOG_WARNING, sink);
    EXPECT_EQ(CountIn(log, CLog::LOG_ERROR, sink), 1u);
    EXPECT_EQ(CountIn(log, CLog::LOG_WARNING, sink), 1u);

    // A sink added twice is called twice per message but still deleted once with the log.
    log.AddStream(CLog::LOG_ERROR, sink);
    EXPECT_EQ(CountIn(log, CLog::LOG_ERROR, sink), 2u);
}

class LogStreamTest : public ::testing::Test {
protected:
    void SetUp() override { CLogCapture::Get().Clear(); }
    std::wstring Captured() const { return CLogCapture::Get().Text(); }
};

const std::wregex kTimestampLine(L"Time: \\d{1,2}:\\d{1,2}:\\d{1,2}\\.\\d{1,3}\n");

TEST_F(LogStreamTest, MessageStartsWithTheTimestampLineAndSwitchesToHex)
{
    CLogStream(CLog::LOG_INFO, CLogStream::TIMESTAMP_AT_START)
        << "count " << 42 << " " << std::hex << 255 << std::endl;
    const std::wstring text = Captured();
    std::wsmatch match;
    ASSERT_TRUE(std::regex_search(text, match, kTimestampLine)) << text.c_str();
    EXPECT_EQ(match.position(0), 0);
    EXPECT_EQ(match.suffix().str(), L"count 42 ff\n");
}

TEST_F(LogStreamTest, ValuesAreFormattedByType)
{
    enum TColour { RED = 3 };
    const unsigned char byte = 200;
    const std::wstring wide = L"w\u00e9";
    CLogStream(CLog::LOG_DEBUG, CLogStream::TIMESTAMP_NONE)
        << true << false << ' ' << byte << ' ' << RED << ' ' << -7LL << ' ' << 4000000000u << ' ' << wide
        << L" wide" << std::hex << ' ' << 10 << std::dec << ' ' << 10 << std::endl;
    EXPECT_EQ(Captured(), L"10 200 3 -7 4000000000 w\u00e9 wide a 10\n");
}

TEST_F(LogStreamTest, NarrowTextIsWidenedByteByByte)
{
    const char utf8[] = "h\xC3\xA9";
    CLogStream(CLog::LOG_INFO, CLogStream::TIMESTAMP_NONE) << utf8 << std::string("\xFF") << std::endl;
    EXPECT_EQ(Captured(), std::wstring(L"h\u00C3\u00A9\u00FF\n"));
}

TEST_F(LogStreamTest, NullTextPointersWriteNothingAndKeepTheMessageGoing)
{
    const char* narrow = nullptr;
    const wchar_t* wide = nullptr;
    CLogStream(CLog::LOG_INFO, CLogStream::TIMESTAMP_NONE) << "a" << narrow << wide << 1 << std::endl;
    EXPECT_EQ(Captured(), L"a1\n");
}

TEST_F(LogStreamTest, DestructionDeliversAnUnflushedMessageWithANewline)
{
    { CLogStream(CLog::LOG_WARNING, CLogStream::TIMESTAMP_NONE) << "pending"; }
    EXPECT_EQ(Captured(), L"pending\n");
}

TEST_F(LogStreamTest, TimestampAtFlushIsPutInFrontAndALaterMessagePartHasNone)
{
    CLogStream stream(CLog::LOG_ERROR, CLogStream::TIMESTAMP_AT_FLUSH);
    stream << "first" << std::endl;
    const std::wstring first = Captured();
    std::wsmatch match;
    ASSERT_TRUE(std::regex_search(first, match, kTimestampLine));
    EXPECT_EQ(match.suffix().str(), L"first\n");

    CLogCapture::Get().Clear();
    CLogStream plain(CLog::LOG_ERROR, CLogStream::TIMESTAMP_AT_START);
    plain << "a" << std::endl;
    CLogCapture::Get().Clear();
    plain << "b" << std::endl;
    EXPECT_EQ(Captured(), L"b\n");
}

}  // namespace
