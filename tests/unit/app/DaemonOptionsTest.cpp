#include <gtest/gtest.h>

#include <sstream>
#include <vector>

#include "Tesk/App/DaemonOptions.h"

namespace {

struct TParsed {
    CDaemonOptions options;
    CDaemonOptions::TParseResult result;
    std::string out;
    std::string err;
};

TParsed Parse(std::vector<const char*> arguments)
{
    arguments.insert(arguments.begin(), "vexlad");
    TParsed parsed;
    std::ostringstream out;
    std::ostringstream err;
    parsed.result = parsed.options.Parse(static_cast<int>(arguments.size()), arguments.data(), out, err);
    parsed.out = out.str();
    parsed.err = err.str();
    return parsed;
}

TEST(DaemonOptionsTest, DefaultsWithoutArguments)
{
    const TParsed parsed = Parse({});
    EXPECT_EQ(parsed.result, CDaemonOptions::PARSE_RUN);
    EXPECT_EQ(parsed.options.GetDataDir(), "/var/vexla");
    EXPECT_EQ(parsed.options.GetSettingsFile(), "");
    EXPECT_EQ(parsed.options.GetLogLevel(), 5);
    EXPECT_FALSE(parsed.options.GetLogToStderr());
}

TEST(DaemonOptionsTest, ValuesAsNextArgumentOrAfterEquals)
{
    const TParsed parsed = Parse({"--data-dir", "/tmp/d", "--settings=/tmp/s", "--log-level", "7", "--stderr"});
    EXPECT_EQ(parsed.result, CDaemonOptions::PARSE_RUN);
    EXPECT_EQ(parsed.options.GetDataDir(), "/tmp/d");
    EXPECT_EQ(parsed.options.GetSettingsFile(), "/tmp/s");
    EXPECT_EQ(parsed.options.GetLogLevel(), 7);
    EXPECT_TRUE(parsed.options.GetLogToStderr());
}

TEST(DaemonOptionsTest, HelpAndVersionAnswerAndEnd)
{
    const TParsed help = Parse({"--help"});
    EXPECT_EQ(help.result, CDaemonOptions::PARSE_DONE);
    EXPECT_NE(help.out.find("Usage: vexlad"), std::string::npos);
    const TParsed version = Parse({"--version"});
    EXPECT_EQ(version.result, CDaemonOptions::PARSE_DONE);
    EXPECT_EQ(version.out.rfind("vexlad ", 0), 0u);
}

TEST(DaemonOptionsTest, UnknownOptionOrBadValueIsAUsageError)
{
    for (const auto& arguments : std::vector<std::vector<const char*>>{
             {"--bogus"}, {"--stderr=1"}, {"--data-dir"}, {"--data-dir="}, {"--log-level", "8"},
             {"--log-level", "x"}, {"--log-level=-1"}, {"extra"}}) {
        const TParsed parsed = Parse(arguments);
        EXPECT_EQ(parsed.result, CDaemonOptions::PARSE_USAGE_ERROR) << arguments[0];
        EXPECT_NE(parsed.err.find("Usage: vexlad"), std::string::npos);
        EXPECT_TRUE(parsed.out.empty());
    }
}

}  // namespace
