#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "KeyLogFile.h"
#include "Network/KeyLog.h"

using VexlaLib::CKeyLog;
using VexlaLib::TByteArray;

namespace {

class KeyLogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/vexla-keylog-XXXXXX";
        ASSERT_NE(nullptr, mkdtemp(pattern));
        dir = pattern;
        path = dir + "/keys";
    }
    void TearDown() override
    {
        CKeyLog::Instance().Close();
        unsetenv("VEXLA_KEYLOG_FILE");
        unlink(path.c_str());
        rmdir(dir.c_str());
    }

    std::string dir;
    std::string path;
};

}  // namespace

TEST_F(KeyLogTest, SessionsWrittenByTheLibraryAreFoundByTheirClientRandom)
{
    const mode_t previous = umask(0);  // the file is private whatever the umask
    ASSERT_TRUE(CKeyLog::Instance().Open(path));
    umask(previous);
    CKeyLog::Instance().Record({1, 2}, {3, 4}, {0xaa}, {0xbb}, {0xcc, 0xdd});
    CKeyLog::Instance().Record({5, 6}, {7, 8}, {0x11}, {0x22}, {0x33});
    CKeyLog::Instance().Close();
    CKeyLog::Instance().Record({9}, {9}, {9}, {9}, {9});  // closed: written nowhere

    struct stat status {};
    ASSERT_EQ(0, stat(path.c_str(), &status));
    EXPECT_EQ(0600u, status.st_mode & 0777);

    CKeyLogFile keys;
    std::string error;
    ASSERT_TRUE(keys.Load(path, &error)) << error;
    const CKeyLogFile::SKeys* first = keys.Find({1, 2});
    ASSERT_NE(nullptr, first);
    EXPECT_EQ((TByteArray{3, 4}), first->serverRandom);
    EXPECT_EQ((TByteArray{0xaa}), first->clientKey);
    EXPECT_EQ((TByteArray{0xbb}), first->serverKey);
    EXPECT_EQ((TByteArray{0xcc, 0xdd}), *first->checksumKey);
    ASSERT_NE(nullptr, keys.Find({5, 6}));
    EXPECT_EQ(nullptr, keys.Find({9}));
}

TEST_F(KeyLogTest, TheEnvironmentVariableOpensTheFileAndAppends)
{
    EXPECT_TRUE(CKeyLog::Instance().OpenFromEnvironment());  // unset: nothing to open
    EXPECT_FALSE(CKeyLog::Instance().IsOpen());
    { std::ofstream(path) << "# earlier\n"; }
    setenv("VEXLA_KEYLOG_FILE", path.c_str(), 1);
    ASSERT_TRUE(CKeyLog::Instance().OpenFromEnvironment());
    CKeyLog::Instance().Record({1}, {2}, {3}, {4}, {5});
    CKeyLog::Instance().Close();
    std::ifstream file(path);
    const std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    EXPECT_EQ("# earlier\nVEXLA_SESSION 01 02 03 04 05\n", text);

    setenv("VEXLA_KEYLOG_FILE", (dir + "/missing/keys").c_str(), 1);
    EXPECT_FALSE(CKeyLog::Instance().OpenFromEnvironment());
}

TEST(KeyLogFileTest, MalformedLinesAreIgnored)
{
    CKeyLogFile keys;
    keys.Parse("VEXLA_SESSION 01 02 03\n"            // too few fields
               "VEXLA_SESSION 02 02 03 04 05 06\n"   // too many
               "VEXLA_SESSION 03 02 zz 04 05\n"      // not hexadecimal
               "OTHER 04 02 03 04 05\n"
               "VEXLA_SESSION 05 02 03 04 05\r\n");  // a line ending from another system
    EXPECT_EQ(nullptr, keys.Find({1}));
    EXPECT_EQ(nullptr, keys.Find({2}));
    EXPECT_EQ(nullptr, keys.Find({3}));
    EXPECT_EQ(nullptr, keys.Find({4}));
    EXPECT_NE(nullptr, keys.Find({5}));
}
