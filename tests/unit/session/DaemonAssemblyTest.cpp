// The daemon's assembly on a private bus: its own properties, then the settings file; a taken name
// fails start-up after the session was built.

#include <gtest/gtest.h>

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <iostream>
#include <string>

#include "Public/VexlaLib.h"
#include "Tesk/Daemon/DaemonAssembly.h"
#include "Tesk/App/DaemonOptions.h"
#include "Tesk/Daemon/VexlaServiceApplication.h"
#include "Tesk/App/VexlaSession.h"
#include "Tesk/Core/TeskService.h"
#include "Utils/Properties.h"
#include "Utils/Utils.h"
#include "support/LogCapture.h"
#include "support/PrivateBus.h"

namespace {

using VexlaTest::CLogCapture;

class DaemonAssemblyTest : public ::testing::Test {
protected:
    DaemonAssemblyTest() : m_environment(m_bus.Address(), m_bus.Address()) {}

    void SetUp() override
    {
        ASSERT_FALSE(m_bus.Address().empty());
        std::string pattern = testing::TempDir() + "vexla-assembly-XXXXXX";
        ASSERT_NE(mkdtemp(&pattern[0]), nullptr);
        m_dataDir = pattern;
        ASSERT_EQ(mkdir((m_dataDir + "/avatars").c_str(), 0755), 0);
        ASSERT_EQ(mkdir((m_dataDir + "/avatars/cache").c_str(), 0755), 0);
        m_loop = g_main_loop_new(nullptr, FALSE);
        CLogCapture::Get().Clear();
    }
    void TearDown() override { g_main_loop_unref(m_loop); }

    CDaemonOptions Options(const std::string& settingsText)
    {
        std::vector<std::string> arguments = {"vexlad", "--data-dir", m_dataDir};
        if (!settingsText.empty()) {
            const std::string settings = m_dataDir + "/settings";
            std::ofstream(settings) << settingsText;
            arguments.push_back("--settings");
            arguments.push_back(settings);
        }
        std::vector<const char*> argv;
        for (const std::string& argument : arguments)
            argv.push_back(argument.c_str());
        CDaemonOptions options;
        EXPECT_EQ(options.Parse(static_cast<int>(argv.size()), argv.data(), std::cout, std::cerr),
                  CDaemonOptions::PARSE_RUN);
        return options;
    }
    static std::wstring Property(const CDaemonAssembly& assembly, const wchar_t* key)
    {
        std::wstring value;
        assembly.Session()->GetLibrary()->GetProperty(key, &value);
        return value;
    }

    TestSupport::CPrivateBus m_bus;
    TestSupport::CBusEnvironment m_environment;
    std::string m_dataDir;
    GMainLoop* m_loop = nullptr;
};

TEST_F(DaemonAssemblyTest, SettingsFileMovesTheDaemonsOwnPropertiesAndTheStoreIsWrittenAtTeardown)
{
    CDaemonAssembly plain;
    ASSERT_TRUE(plain.Assemble(m_loop, Options("")));
    EXPECT_EQ(CVexlaServiceApplication::pVexlaSession.load(), plain.Session());
    EXPECT_EQ(Property(plain, VexlaLib::CProperties::PLATFORMID), L"2017/1.0.0.0");
    EXPECT_EQ(Property(plain, VexlaLib::CProperties::ASK_FOR_REQUIRED_LOCAL_ADDRESS), L"1");
    plain.TearDown();
    EXPECT_EQ(CVexlaServiceApplication::pVexlaSession.load(), nullptr);

    CDaemonAssembly configured;
    ASSERT_TRUE(configured.Assemble(m_loop, Options("PLATFORMID 2017/9.9.9.9\nSERVER_ENVIRONMENT TEST\n")));
    EXPECT_EQ(Property(configured, VexlaLib::CProperties::PLATFORMID), L"2017/9.9.9.9");
    EXPECT_EQ(Property(configured, VexlaLib::CProperties::SERVER_ENVIRONMENT), L"TEST");
    configured.TearDown();

    struct stat status;
    EXPECT_EQ(stat((m_dataDir + "/vexla.dat").c_str(), &status), 0);
    EXPECT_TRUE(CLogCapture::Get().Contains(L"Started Tesk service, serviceName=com.vexla.call, usePublicBus=0"));
    EXPECT_TRUE(CLogCapture::Get().Contains(L"Started Tesk service, serviceName=com.vexla.im, usePublicBus=0"));
}

TEST_F(DaemonAssemblyTest, UnreadableSettingsFileIsLoggedAndStartUpGoesOn)
{
    const char* argv[] = {"vexlad", "--data-dir", m_dataDir.c_str(), "--settings", "/nonexistent/settings"};
    CDaemonOptions options;
    ASSERT_EQ(options.Parse(5, argv, std::cout, std::cerr), CDaemonOptions::PARSE_RUN);
    CDaemonAssembly assembly;
    EXPECT_TRUE(assembly.Assemble(m_loop, options));
    EXPECT_TRUE(CLogCapture::Get().Contains(L"Cannot read the settings file /nonexistent/settings"));
    assembly.TearDown();
}

TEST_F(DaemonAssemblyTest, TakenCallServiceNameFailsStartUpWithoutTryingTheMessagingName)
{
    CTeskService squatter;
    ASSERT_TRUE(squatter.Register("com.vexla.call", false));

    CDaemonAssembly assembly;
    EXPECT_FALSE(assembly.Assemble(m_loop, Options("")));
    ASSERT_NE(assembly.Session(), nullptr);
    CLogCapture& log = CLogCapture::Get();
    EXPECT_TRUE(log.Contains(L"Failed to register service: com.vexla.call"));
    EXPECT_TRUE(log.Contains(L"Failed to start services."));
    EXPECT_FALSE(log.Contains(L"com.vexla.im"));
    assembly.TearDown();
}

TEST_F(DaemonAssemblyTest, MissingAvatarCacheDirectoryFailsStartUpWithTheServicesRegistered)
{
    ASSERT_EQ(rmdir((m_dataDir + "/avatars/cache").c_str()), 0);
    CDaemonAssembly assembly;
    EXPECT_FALSE(assembly.Assemble(m_loop, Options("")));
    CLogCapture& log = CLogCapture::Get();
    EXPECT_TRUE(log.Contains(L"Error opening " + VexlaLib::CUtils::ConvertCharToWide(m_dataDir) + L"/avatars/cache"));
    EXPECT_TRUE(log.Contains(L"Failed to initialize avatar cache."));
    EXPECT_TRUE(log.Contains(L"Started Tesk service, serviceName=com.vexla.im, usePublicBus=0"));
    assembly.TearDown();
}

TEST(StartServiceTest, ClientOnlyEndpointIsLoggedAsAClient)
{
    TestSupport::CPrivateBus bus;
    TestSupport::CBusEnvironment environment(bus.Address(), bus.Address());
    CLogCapture::Get().Clear();
    CTeskService client;
    EXPECT_TRUE(CVexlaServiceApplication::StartService(&client, nullptr, nullptr, false));
    EXPECT_TRUE(CLogCapture::Get().Contains(L"Started Tesk client, usePublicBus=0"));
}

}  // namespace
