#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "Tesk/App/DaemonOptions.h"
#include "Tesk/App/SyslogLogger.h"
#include "Tesk/Daemon/VexlaServiceApplication.h"
#include "Utils/Log.h"
#include "Utils/Utils.h"
#include "support/LogCapture.h"
#include "support/PrivateBus.h"

using VexlaLib::CLog;
using VexlaLib::CUtils;
using VexlaTest::CLogCapture;

namespace {

std::string MakeTempDir()
{
    std::string pattern = testing::TempDir() + "vexla-app-XXXXXX";
    return mkdtemp(&pattern[0]);
}

bool IsDirectory(const std::string& path)
{
    struct stat status;
    return stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

// The platform level of each sink of the category.
std::vector<int> Levels(const CLog& log, CLog::TStreamCategory category)
{
    std::vector<int> levels;
    for (VexlaLib::ILog* sink : log.GetStreams(category))
        levels.push_back(static_cast<CSyslogLogger*>(sink)->GetLevel());
    return levels;
}

TEST(StartLoggingTest, ContextLevelThreeRoutesOnlyErrors)
{
    CLog log;
    CVexlaServiceApplication::AddLogSinks(log, 3);
    EXPECT_EQ(Levels(log, CLog::LOG_ERROR), std::vector<int>{3});
    EXPECT_TRUE(log.GetStreams(CLog::LOG_WARNING).empty());
    EXPECT_TRUE(log.GetStreams(CLog::LOG_NOTICE).empty());
    EXPECT_TRUE(log.GetStreams(CLog::LOG_INFO).empty());
    EXPECT_TRUE(log.GetStreams(CLog::LOG_DEBUG).empty());
}

TEST(StartLoggingTest, ContextLevelSevenRoutesAllFiveEachAtItsOwnLevel)
{
    CLog log;
    CVexlaServiceApplication::AddLogSinks(log, 7);
    EXPECT_EQ(Levels(log, CLog::LOG_ERROR), std::vector<int>{3});
    EXPECT_EQ(Levels(log, CLog::LOG_WARNING), std::vector<int>{4});
    EXPECT_EQ(Levels(log, CLog::LOG_NOTICE), std::vector<int>{5});
    EXPECT_EQ(Levels(log, CLog::LOG_INFO), std::vector<int>{6});
    EXPECT_EQ(Levels(log, CLog::LOG_DEBUG), std::vector<int>{7});
}

TEST(StartLoggingTest, DefaultLevelFiveRoutesErrorsWarningsAndNotices)
{
    CLog log;
    CVexlaServiceApplication::AddLogSinks(log, 5);
    EXPECT_EQ(Levels(log, CLog::LOG_NOTICE), std::vector<int>{5});
    EXPECT_TRUE(log.GetStreams(CLog::LOG_INFO).empty());
}

class CreatePathTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_root = MakeTempDir();
        CLogCapture::Get().Clear();
    }
    std::string m_root;
};

TEST_F(CreatePathTest, CreatesEveryMissingDirectoryWritableByItsOwner)
{
    const mode_t umaskBefore = umask(022);
    CVexlaServiceApplication::CreatePath(CUtils::ConvertCharToWide(m_root + "/a/b/c"));
    umask(umaskBefore);
    struct stat status;
    ASSERT_EQ(stat((m_root + "/a/b/c").c_str(), &status), 0);
    EXPECT_TRUE(S_ISDIR(status.st_mode));
    EXPECT_EQ(status.st_mode & 07777, 0755u);
    EXPECT_EQ(stat((m_root + "/a").c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 07777, 0755u);
    EXPECT_FALSE(CLogCapture::Get().Contains(L"Failed creating directory"));
}

TEST_F(CreatePathTest, ExistingTreeMakesNothingAndLogsNothing)
{
    CVexlaServiceApplication::CreatePath(CUtils::ConvertCharToWide(m_root));
    CVexlaServiceApplication::CreatePath(CUtils::ConvertCharToWide(m_root + "/"));
    EXPECT_EQ(CLogCapture::Get().Text(), L"");
}

TEST_F(CreatePathTest, UncreatableMiddleComponentIsLoggedAndDeeperOnesAreStillAttempted)
{
    std::ofstream(m_root + "/file") << "in the way";
    CVexlaServiceApplication::CreatePath(CUtils::ConvertCharToWide(m_root + "/file/b/c"));
    const std::wstring root = CUtils::ConvertCharToWide(m_root);
    EXPECT_TRUE(CLogCapture::Get().Contains(L"Failed creating directory " + root +
                                            L"/file/b with error \"Not a directory\""));
    EXPECT_TRUE(CLogCapture::Get().Contains(L"Failed creating directory " + root +
                                            L"/file/b/c with error \"Not a directory\""));
    EXPECT_EQ(CLogCapture::Get().Count(L"Failed creating directory"), 2u);
}

TEST(QuitHandlerTest, WithoutASessionItChangesNothing)
{
    ASSERT_EQ(CVexlaServiceApplication::pVexlaSession.load(), nullptr);
    CVexlaServiceApplication::QuitHandler(SIGQUIT);
    EXPECT_EQ(CVexlaServiceApplication::pVexlaSession.load(), nullptr);
    EXPECT_EQ(CVexlaServiceApplication::pMainLoop, nullptr);
}

// Runs while the first Execute is in its main loop.
struct TSecondStart {
    std::string dataDir;
    int result = 0;
    size_t noticeSinksBefore = 0;
    size_t noticeSinksAfter = 0;
};

gboolean StartSecondAndQuit(gpointer data)
{
    TSecondStart* second = static_cast<TSecondStart*>(data);
    const char* arguments[] = {"vexlad", "--data-dir", second->dataDir.c_str()};
    CDaemonOptions options;
    options.Parse(3, arguments, std::cout, std::cerr);
    second->noticeSinksBefore = CLog::Instance().GetStreams(CLog::LOG_NOTICE).size();
    CVexlaServiceApplication application(options);
    second->result = application.Execute();
    second->noticeSinksAfter = CLog::Instance().GetStreams(CLog::LOG_NOTICE).size();
    CVexlaServiceApplication::QuitHandler(SIGQUIT);
    return FALSE;
}

TEST(ExecuteTest, SecondStartIsRefusedAndTheFirstRunsOnToAnOrderlyEnd)
{
    TestSupport::CPrivateBus bus;
    ASSERT_FALSE(bus.Address().empty());
    TestSupport::CBusEnvironment environment(bus.Address(), bus.Address());
    const std::string dataDir = MakeTempDir() + "/data";
    const char* arguments[] = {"vexlad", "--data-dir", dataDir.c_str()};
    CDaemonOptions options;
    ASSERT_EQ(options.Parse(3, arguments, std::cout, std::cerr), CDaemonOptions::PARSE_RUN);
    TSecondStart second;
    second.dataDir = dataDir;
    g_idle_add(&StartSecondAndQuit, &second);
    CLogCapture::Get().Clear();

    CVexlaServiceApplication application(options);
    EXPECT_EQ(application.Execute(), 0);

    EXPECT_EQ(second.result, -1);
    EXPECT_EQ(second.noticeSinksAfter, second.noticeSinksBefore);
    EXPECT_TRUE(IsDirectory(dataDir + "/avatars/cache"));
    CLogCapture& log = CLogCapture::Get();
    EXPECT_EQ(log.Count(L"CVexlaServiceApplication can only be instantiated once.\n"), 1u);
    EXPECT_EQ(log.Count(L"Starting vexla service.\n"), 2u);
    EXPECT_EQ(log.Count(L"Initialisation done, entering main loop.\n"), 1u);
    const std::wstring text = log.Text();
    const size_t shuttingDown = text.find(L"Shutting down vexla service.\n");
    ASSERT_NE(shuttingDown, std::wstring::npos);
    EXPECT_NE(text.find(L"Vexla service ended.\n", shuttingDown), std::wstring::npos);
    EXPECT_EQ(CVexlaServiceApplication::pMainLoop, nullptr);
    EXPECT_EQ(CVexlaServiceApplication::pVexlaSession.load(), nullptr);
}

}  // namespace
