#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <vector>

#include "Tesk/App/DebugSettings.h"
#include "support/LogCapture.h"

using Settings = std::vector<CDebugSettings::TSetting>;
using VexlaTest::CLogCapture;

namespace {

TEST(DebugSettingsTest, WordsAfterTheValueAreIgnored)
{
    EXPECT_EQ(CDebugSettings::Scan("LOGVERBOSE 1 and more words\nPSTN\t+15551234\n"),
              (Settings{{L"LOGVERBOSE", L"1"}, {L"PSTN", L"+15551234"}}));
}

TEST(DebugSettingsTest, TwoTokenCommentIsSkippedWhole)
{
    EXPECT_EQ(CDebugSettings::Scan("# note\nLOGVERBOSE 1\n"), (Settings{{L"LOGVERBOSE", L"1"}}));
}

TEST(DebugSettingsTest, OneTokenCommentSwallowsTheNextLinesFirstToken)
{
    EXPECT_EQ(CDebugSettings::Scan("#note\nLOGVERBOSE 1\nPSTN 2\n"), (Settings{{L"PSTN", L"2"}}));
}

TEST(DebugSettingsTest, CrLfLinesBlankLinesAndAMissingFinalNewline)
{
    EXPECT_EQ(CDebugSettings::Scan("\r\n  A 1\r\n\r\nB\t\t2  x\r\nC 3"),
              (Settings{{L"A", L"1"}, {L"B", L"2"}, {L"C", L"3"}}));
    EXPECT_EQ(CDebugSettings::Scan("LONELY"), Settings{});
    EXPECT_EQ(CDebugSettings::Scan(""), Settings{});
}

TEST(DebugSettingsTest, Utf8IsDecodedAndNulEndsAToken)
{
    EXPECT_EQ(CDebugSettings::Scan("NAME J\xC3\xB6rg\n"),
              (Settings{{L"NAME", L"J\u00f6rg"}}));
    EXPECT_EQ(CDebugSettings::Scan(std::string("X a\0b\n", 6)), (Settings{{L"X", L"a"}}));
}

TEST(DebugSettingsTest, LoadReadsTheFileAndAMissingFileIsNotAnError)
{
    Settings settings{{L"kept", L"1"}};
    EXPECT_FALSE(CDebugSettings::Load("/nonexistent/vexla-settings", &settings));
    EXPECT_EQ(settings.size(), 1u);

    const std::string path = testing::TempDir() + "vexla-debug-settings";
    std::ofstream(path, std::ios::binary) << "SERVER_ENVIRONMENT TEST\r\n";
    CLogCapture::Get().Clear();
    EXPECT_TRUE(CDebugSettings::Load(path, &settings));
    EXPECT_EQ(settings, (Settings{{L"SERVER_ENVIRONMENT", L"TEST"}}));
    EXPECT_TRUE(CLogCapture::Get().Contains(L"Found a file with debug settings:"));
    std::remove(path.c_str());
}

TEST(DebugSettingsTest, ApplyLogsEachSettingWithPasswordValuesRedacted)
{
    Settings applied;
    CLogCapture::Get().Clear();
    CDebugSettings::Apply({{L"LOGVERBOSE", L"1"}, {L"KEY_PASSWORD", L"hunter2"}, {L"ProxyPassword", L"pw"}},
                          [&](const std::wstring& key, const std::wstring& value) { applied.emplace_back(key, value); });
    EXPECT_EQ(applied, (Settings{{L"LOGVERBOSE", L"1"}, {L"KEY_PASSWORD", L"hunter2"}, {L"ProxyPassword", L"pw"}}));
    EXPECT_TRUE(CLogCapture::Get().Contains(L"Setting property: LOGVERBOSE to: 1\n"));
    EXPECT_TRUE(CLogCapture::Get().Contains(L"Setting property: KEY_PASSWORD to: <redacted>\n"));
    EXPECT_TRUE(CLogCapture::Get().Contains(L"Setting property: ProxyPassword to: <redacted>\n"));
    EXPECT_FALSE(CLogCapture::Get().Contains(L"hunter2"));
}

}  // namespace
