#include "PlatformSim/Activity.h"
#include "PlatformSim/SimOptions.h"

#include <gtest/gtest.h>

using namespace PlatformSim;

namespace
{
bool Read(const std::string& text, CActivity* activity, std::string* error)
{
    TJsonPtr json = ParseJson(text);
    return activity->Read(json.get(), error);
}
} // namespace

TEST(Activity, ReadsTriggerRequirementsCallbackAndSchedule)
{
    CActivity watch;
    std::string error;
    ASSERT_TRUE(Read(R"({"name": "w", "callback": {"method": "nylo://com.vexla.im/x"}, "requirements": {"wan": true},
                        "trigger": {"key": "fired", "method": "nylo://com.nylo.db/watch", "params": {"query": {"from": "k:1"}}}})",
                     &watch, &error))
        << error;
    EXPECT_EQ(watch.name, "w");
    EXPECT_EQ(watch.callbackMethod, "nylo://com.vexla.im/x");
    EXPECT_TRUE(watch.hasTrigger);
    EXPECT_EQ(watch.triggerKey, "fired");
    EXPECT_EQ(watch.triggerParams, R"({"query":{"from":"k:1"}})");
    EXPECT_TRUE(watch.requiresWan);
    EXPECT_EQ(watch.scheduleSeconds, 0u);

    CActivity keyless;
    ASSERT_TRUE(Read(R"({"name": "n", "trigger": {"method": "nylo://com.nylo.connectionmanager/getstatus"}})", &keyless, &error));
    EXPECT_EQ(keyless.triggerKey, "");
    EXPECT_EQ(keyless.triggerParams, "{}");
    EXPECT_FALSE(keyless.requiresWan);

    const struct
    {
        const char* interval;
        unsigned seconds;
    } schedules[] = {{"20m", 1200}, {"45s", 45}, {"2h", 7200}, {"1d", 86400}, {"90", 90}};
    for (const auto& schedule : schedules)
    {
        CActivity scheduled;
        ASSERT_TRUE(Read(std::string(R"({"name": "s", "schedule": {"interval": ")") + schedule.interval + "\"}}", &scheduled, &error));
        EXPECT_EQ(scheduled.scheduleSeconds, schedule.seconds) << schedule.interval;
    }
}

TEST(Activity, MalformedActivitiesAreRefused)
{
    const char* refused[] = {
        R"({"description": "no name"})",
        R"({"name": ""})",
        R"({"name": "a", "callback": {}})",
        R"({"name": "a", "trigger": {"params": {}}})",
        R"({"name": "a", "trigger": {"method": "nylo://x/y", "params": "text"}})",
        R"({"name": "a", "schedule": {"interval": "soon"}})",
        R"({"name": "a", "schedule": {"interval": "5w"}})",
        R"({"name": "a", "schedule": {"interval": "0m"}})",
        R"({"name": "a", "schedule": {"interval": "31d"}})",
        R"({"name": "a", "schedule": {"interval": "-5m"}})",
        R"({"name": "a", "schedule": {}})",
    };
    for (const char* text : refused)
    {
        CActivity activity;
        std::string error;
        EXPECT_FALSE(Read(text, &activity, &error)) << text;
        EXPECT_FALSE(error.empty()) << text;
    }
}

TEST(SimOptions, DefaultsValuesAndRefusals)
{
    CSimOptions defaults;
    std::string error;
    char name[] = "platform-sim";
    char* none[] = {name};
    ASSERT_TRUE(CSimOptions::Parse(1, none, &defaults, &error));
    EXPECT_EQ(defaults.dbPath, "platform-sim.db");
    EXPECT_EQ(defaults.retryIntervalMs, 1000u);
    EXPECT_EQ(defaults.powerDownTimeoutMs, 5000u);

    CSimOptions given;
    char db[] = "--db", path[] = "/tmp/x.db", retry[] = "--retry-interval", hundred[] = "100", verbose[] = "--verbose";
    char* args[] = {name, db, path, retry, hundred, verbose};
    ASSERT_TRUE(CSimOptions::Parse(6, args, &given, &error)) << error;
    EXPECT_EQ(given.dbPath, "/tmp/x.db");
    EXPECT_EQ(given.retryIntervalMs, 100u);
    EXPECT_TRUE(given.verbose);

    char zero[] = "0", junk[] = "10x", unknown[] = "--bogus";
    char* zeroRetry[] = {name, retry, zero};
    char* junkRetry[] = {name, retry, junk};
    char* missing[] = {name, db};
    char* bogus[] = {name, unknown, zero};
    for (auto* argv : {zeroRetry, junkRetry, bogus})
    {
        CSimOptions options;
        EXPECT_FALSE(CSimOptions::Parse(3, argv, &options, &error));
    }
    CSimOptions options;
    EXPECT_FALSE(CSimOptions::Parse(2, missing, &options, &error));
}
