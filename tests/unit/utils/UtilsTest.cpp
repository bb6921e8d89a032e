#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "Utils/Utils.h"
#include "support/FakeClock.h"
#include "support/LogCapture.h"

using namespace VexlaLib;
using VexlaTest::CLogCapture;

namespace {

const wchar_t kLengthError[] = L"Utils, GetUnicodeFromMBS - Illegal UTF-8 character length.";
const wchar_t kSequenceError[] = L"Utils, GetUnicodeFromMBS - Illegal UTF-8 code sequence.";

class Utf8Test : public ::testing::Test {
protected:
    void SetUp() override { CLogCapture::Get().Clear(); }
    static std::string Encode(const std::wstring& text) { return CUtils::ConvertWideToChar(text); }
    static std::wstring Decode(const std::string& bytes) { return CUtils::ConvertCharToWide(bytes); }
};

TEST_F(Utf8Test, DecodesMultiByteCharacters)
{
    EXPECT_EQ(Decode("\x68\xC3\xA9\x6C\x6C\x6F"), L"h\u00e9llo");
    EXPECT_EQ(Decode("\xE2\x82\xAC\xF0\x9F\x98\x80"), std::wstring(L"\u20AC\U0001F600"));
    EXPECT_EQ(Decode("\xF4\x8F\xBF\xBF"), std::wstring(1, static_cast<wchar_t>(0x10FFFF)));
    EXPECT_EQ(Decode(""), L"");
    EXPECT_FALSE(CLogCapture::Get().Contains(L"GetUnicodeFromMBS"));
}

TEST_F(Utf8Test, BadContinuationByteEndsTheConversionWithTheSequenceMessage)
{
    EXPECT_EQ(Decode("\xC3\x28"), L"");
    EXPECT_TRUE(CLogCapture::Get().Contains(kSequenceError));
    // Truncated sequences at the end of the text: the terminating NUL is not a continuation byte.
    EXPECT_EQ(Decode("ab\xE2\x82"), L"ab");
    EXPECT_EQ(Decode("ab\xF0"), L"ab");
    EXPECT_EQ(CLogCapture::Get().Count(kSequenceError), 3u);
}

TEST_F(Utf8Test, StrayContinuationAndOverlongLeadBytesGiveTheLengthMessage)
{
    EXPECT_EQ(Decode("\x80"), L"");
    EXPECT_EQ(Decode("ok\xBF" "after"), L"ok");
    EXPECT_EQ(Decode("x\xF8\x88\x80\x80\x80"), L"x");
    EXPECT_EQ(Decode("\xFF"), L"");
    EXPECT_EQ(CLogCapture::Get().Count(kLengthError), 4u);
}

TEST_F(Utf8Test, ConversionStopsAtNul)
{
    EXPECT_EQ(Decode(std::string("ab\0cd", 5)), L"ab");
    const char* p = "\0";
    EXPECT_EQ(CUtils::GetUnicodeFromMBS(&p), 0);
    EXPECT_EQ(p, nullptr);
}

TEST_F(Utf8Test, EncodesEveryLengthAndSurrogatesAsThreeBytes)
{
    EXPECT_EQ(Encode(L"A"), "A");
    EXPECT_EQ(Encode(std::wstring(1, 0x80)), "\xC2\x80");
    EXPECT_EQ(Encode(std::wstring(1, 0x7FF)), "\xDF\xBF");
    EXPECT_EQ(Encode(std::wstring(1, 0x800)), "\xE0\xA0\x80");
    EXPECT_EQ(Encode(L"\u20AC"), "\xE2\x82\xAC");
    EXPECT_EQ(Encode(std::wstring(1, 0xD800)), "\xED\xA0\x80");
    EXPECT_EQ(Encode(std::wstring(1, 0xFFFF)), "\xEF\xBF\xBF");
    EXPECT_EQ(Encode(std::wstring(1, 0x10000)), "\xF0\x90\x80\x80");
    EXPECT_EQ(Encode(L"\U0001F600"), "\xF0\x9F\x98\x80");
    EXPECT_EQ(Encode(std::wstring(1, 0x10FFFF)), "\xF4\x8F\xBF\xBF");
}

TEST_F(Utf8Test, OutOfRangeCharacterFailsAppendsNothingAndEndsTheConversion)
{
    std::string out = "x";
    EXPECT_FALSE(CUtils::PutUnicodeToMBS(&out, 0x110000));
    EXPECT_EQ(out, "x");
    EXPECT_TRUE(CLogCapture::Get().Contains(L"Utils, PutUnicodeToMBS - unicode character out of range: 110000"));

    std::wstring text = L"ab";
    text.push_back(static_cast<wchar_t>(0x110000));
    text += L"cd";
    EXPECT_EQ(Encode(text), "ab");
    CUtils::ConvertWideToChar(text, &out);
    EXPECT_EQ(out, "xab");
    EXPECT_EQ(Encode(std::wstring(1, static_cast<wchar_t>(-1))), "");
}

TEST_F(Utf8Test, RoundTripKeepsEveryScalarValue)
{
    std::wstring all;
    for (unsigned int c = 1; c < 0x110000; c += 97) {
        if (CUtils::IsUnicodeScalarValue(c))
            all.push_back(static_cast<wchar_t>(c));
    }
    EXPECT_EQ(Decode(Encode(all)), all);
}

TEST_F(Utf8Test, SurrogatesAndValuesAboveTheLastCodePointEndTheConversion)
{
    EXPECT_EQ(Decode("ab\xED\xA0\x80" "cd"), L"ab");
    EXPECT_EQ(Decode("ab\xED\xBF\xBF"), L"ab");
    EXPECT_EQ(Decode("ab\xF4\x90\x80\x80" "cd"), L"ab");
    EXPECT_EQ(Decode("\xF7\xBF\xBF\xBF"), L"");
    EXPECT_EQ(CLogCapture::Get().Count(kSequenceError), 4u);
    // The neighbours are characters.
    EXPECT_EQ(Decode("\xED\x9F\xBF\xEE\x80\x80"), std::wstring(L"\uD7FF\uE000"));
}

TEST(StringUtilsTest, TokenizeKeepsEmptyFields)
{
    using Fields = std::vector<std::wstring>;
    EXPECT_EQ(CUtils::Tokenize(L"a", L","), Fields{L"a"});
    EXPECT_EQ(CUtils::Tokenize(L"a,,b", L","), (Fields{L"a", L"", L"b"}));
    EXPECT_EQ(CUtils::Tokenize(L"a,", L","), (Fields{L"a", L""}));
    EXPECT_EQ(CUtils::Tokenize(L"", L","), Fields{});
    EXPECT_EQ(CUtils::Tokenize(L"a;b,c", L",;"), (Fields{L"a", L"b", L"c"}));
}

TEST(StringUtilsTest, SplitStringAppendsNonEmptyPiecesBetweenSpacesOnly)
{
    std::vector<std::wstring> out{L"kept"};
    CUtils::SplitString(L"  one two\tthree   four ", &out);
    EXPECT_EQ(out, (std::vector<std::wstring>{L"kept", L"one", L"two\tthree", L"four"}));
    CUtils::SplitString(L"", &out);
    EXPECT_EQ(out.size(), 4u);
}

TEST(StringUtilsTest, ToLowerCaseChangesOnlyAsciiLetters)
{
    EXPECT_EQ(CUtils::ToLowerCase(L"Joe.SMITH@Example"), L"joe.smith@example");
    EXPECT_EQ(CUtils::ToLowerCase(L"\u00C9\u0130\u0391[Z]"), L"\u00C9\u0130\u0391[z]");
}

TEST(StringUtilsTest, NoCaseLessOrdersIgnoringAsciiCase)
{
    std::vector<wchar_t> letters{L'b', L'C', L'A'};
    std::sort(letters.begin(), letters.end(), CUtils::NoCaseLess);
    EXPECT_EQ(letters, (std::vector<wchar_t>{L'A', L'b', L'C'}));
    EXPECT_FALSE(CUtils::NoCaseLess(L'a', L'A'));
    EXPECT_FALSE(CUtils::NoCaseLess(L'A', L'a'));
}

TEST(ClockTest, InstalledClockSourceDrivesBothTimeFunctionsUntilRemoved)
{
    {
        VexlaTest::CFakeClock clock(5000);
        EXPECT_EQ(CUtils::CurrentTimeInMs(), 5000);
        clock.Advance(120000);
        EXPECT_EQ(CUtils::CurrentTimeInMs(), 125000);
        EXPECT_EQ(CUtils::CurrentTimeInSec(), 125);
    }
    EXPECT_GT(CUtils::CurrentTimeInMs(), 1600000000000LL);
    EXPECT_GT(CUtils::CurrentTimeInSec(), 1600000000);
}

}  // namespace
