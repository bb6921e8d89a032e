// The exact requests of the messaging transport's sign-in side: activities and records.

#include <gtest/gtest.h>

#include "Tesk/App/Meridex/ActivityCycle.h"
#include "Tesk/App/Meridex/IMActivities.h"
#include "Tesk/App/IMDatabaseKinds.h"
#include "Tesk/App/IMRequests.h"
#include "Tesk/Core/JSONObject.h"

namespace {

const wchar_t CREATE[] = L"nylo://com.nylo.activitymanager/create";

void ExpectRequest(const CPlatformRequest& request, const std::wstring& uri, const std::string& payload)
{
    std::string text;
    EXPECT_TRUE(request.payload.ToString(&text));
    EXPECT_EQ(request.uri, uri);
    EXPECT_EQ(text, payload);
}

}  // namespace

TEST(IMActivitiesTest, LoginStateWatchStartsTheTransportOnAnyWrite)
{
    ExpectRequest(CIMActivities::LoginState(), CREATE,
                  R"({"activity":{"name":"Vexla loginstate","description":"Watch for changes to the imloginstate",)"
                  R"("type":{"foreground":true},"callback":{"method":"nylo://com.vexla.im/loginStateChanged"},)"
                  R"("trigger":{"key":"fired","method":"nylo://com.nylo.db/watch","params":{"query":)"
                  R"({"from":"com.nylo.imloginstate.vexla:1","where":[{"prop":"_rev","op":">","val":0}]}}},)"
                  R"("requirements":{"wan":true}},"start":true,"replace":true})");
}

TEST(IMActivitiesTest, AvailabilityAndMoodWatchesCompareWithTheCurrentValue)
{
    ExpectRequest(CIMActivities::Availability(2), CREATE,
                  R"({"activity":{"name":"Vexla loginstate.availability",)"
                  R"("description":"Watch for changes to imloginstate.availability","type":{"foreground":true},)"
                  R"("callback":{"method":"nylo://com.vexla.im/availabilityChanged"},)"
                  R"("trigger":{"key":"fired","method":"nylo://com.nylo.db/watch","params":{"query":)"
                  R"({"from":"com.nylo.imloginstate.vexla:1","where":[{"prop":"availability","op":"!=","val":2}]}}}},)"
                  R"("start":true,"replace":true})");
    ExpectRequest(CIMActivities::CustomMessage(L"gone fishing"), CREATE,
                  R"({"activity":{"name":"Vexla loginstate.customMessage",)"
                  R"("description":"Watch for changes to imloginstate.customMessage","type":{"foreground":true},)"
                  R"("callback":{"method":"nylo://com.vexla.im/customMessageChanged"},)"
                  R"("trigger":{"key":"fired","method":"nylo://com.nylo.db/watch","params":{"query":)"
                  R"({"from":"com.nylo.imloginstate.vexla:1",)"
                  R"("where":[{"prop":"customMessage","op":"!=","val":"gone fishing"}]}}}},)"
                  R"("start":true,"replace":true})");
}

TEST(IMActivitiesTest, MessageAndCommandWatchesKeepThePhoneAwake)
{
    ExpectRequest(CIMActivities::IMMessage(), CREATE,
                  R"({"activity":{"name":"Vexla immessage","description":"Watch for changes to immessage",)"
                  R"("type":{"foreground":true,"power":true,"powerDebounce":true},)"
                  R"("callback":{"method":"nylo://com.vexla.im/immessageChanged"},)"
                  R"("trigger":{"key":"fired","method":"nylo://com.nylo.db/watch","params":{"query":)"
                  R"({"from":"com.nylo.immessage.vexla:1","where":[{"prop":"folder","op":"=","val":"outbox"},)"
                  R"({"prop":"status","op":"=","val":"pending"}]}}}},"start":true,"replace":true})");
    ExpectRequest(CIMActivities::IMCommand(), CREATE,
                  R"({"activity":{"name":"Vexla imcommand","description":"Watch for changes to imcommand",)"
                  R"("type":{"foreground":true,"power":true,"powerDebounce":true},)"
                  R"("callback":{"method":"nylo://com.vexla.im/imcommandChanged"},)"
                  R"("trigger":{"key":"fired","method":"nylo://com.nylo.db/watch","params":{"query":)"
                  R"({"from":"com.nylo.imcommand.vexla:1","where":[{"prop":"handler","op":"=","val":"transport"}]}}}},)"
                  R"("start":true,"replace":true})");
}

TEST(IMActivitiesTest, NetworkWatchesNeedTheDataConnectionAndFireOnTheNextStatus)
{
    ExpectRequest(CIMActivities::ConnectionManager(), CREATE,
                  R"({"activity":{"name":"Vexla connectionmanager.getstatus",)"
                  R"("description":"Watch for changes to connectionmanager.getstatus","type":{"foreground":true},)"
                  R"("callback":{"method":"nylo://com.vexla.im/connectionManagerStatusChanged"},)"
                  R"("requirements":{"wan":true},"trigger":{"method":"nylo://com.nylo.connectionmanager/getstatus",)"
                  R"("params":{"subscribe":true}}},"start":true,"replace":true})");
    ExpectRequest(CIMActivities::NetworkStatus(), CREATE,
                  R"({"activity":{"name":"Vexla networkStatusQuery",)"
                  R"("description":"Watch for changes to networkStatusQuery","type":{"foreground":true},)"
                  R"("callback":{"method":"nylo://com.vexla.im/networkStatusQueryChanged"},)"
                  R"("requirements":{"wan":true},"trigger":{"method":"nylo://com.nylo.telephony/networkStatusQuery",)"
                  R"("params":{"subscribe":true}}},"start":true,"replace":true})");
}

TEST(IMActivitiesTest, KeepAliveRunsEveryTwentyMinutesInTheBackground)
{
    ExpectRequest(CIMActivities::KeepAlive(), CREATE,
                  R"({"activity":{"name":"Vexla keep alive","description":"Requesting presence updates every 20 minutes",)"
                  R"("type":{"background":true},"callback":{"method":"nylo://com.vexla.im/keepAlive"},)"
                  R"("schedule":{"interval":"20m"}},)"
                  R"("start":true,"replace":true})");
}

TEST(IMRequestsTest, LoginStateWritesAndCredentials)
{
    ExpectRequest(CIMRequests::FindLoginState(), L"nylo://com.nylo.db/find",
                  R"({"query":{"from":"com.nylo.imloginstate.vexla:1"}})");
    ExpectRequest(CIMRequests::MergeState(L"r7", L"logging-on"), L"nylo://com.nylo.db/merge",
                  R"({"objects":[{"_id":"r7","state":"logging-on"}]})");
    ExpectRequest(CIMRequests::MergeAvailability(L"r7", 4), L"nylo://com.nylo.db/merge",
                  R"({"objects":[{"_id":"r7","availability":4}]})");
    ExpectRequest(CIMRequests::ReadCredentials(L"account1"), L"nylo://com.nylo.service.accounts/readCredentials",
                  R"({"accountId":"account1","name":"common"})");
}

TEST(IMRequestsTest, OfflineCleanUp)
{
    ExpectRequest(CIMRequests::FindBuddyStatus(), L"nylo://com.nylo.tempdb/find",
                  R"({"query":{"from":"com.nylo.imbuddystatus.vexla:1"}})");
    ExpectRequest(CIMRequests::MergeBuddiesOffline({L"b1", L"b2"}), L"nylo://com.nylo.tempdb/merge",
                  R"({"objects":[{"_id":"b1","availability":4},{"_id":"b2","availability":4}]})");
    ExpectRequest(CIMRequests::UnbindGroupChats(), L"nylo://com.nylo.db/merge",
                  R"({"query":{"from":"com.nylo.imgroupchat.vexla:1"},"props":{"chatHandle":0}})");
    ExpectRequest(CIMRequests::LockUnnamedGroupChats(), L"nylo://com.nylo.db/merge",
                  R"({"query":{"from":"com.nylo.imgroupchat.vexla:1",)"
                  R"("where":[{"prop":"vexlaUniqueName","op":"=","val":""}]},"props":{"flags":{"locked":true}}})");
}

TEST(IMRequestsTest, SyncStateIsMergedWhenItExistsAndPutOtherwise)
{
    ExpectRequest(CIMRequests::FindSyncState(), L"nylo://com.nylo.tempdb/find",
                  R"({"query":{"from":"com.nylo.account.syncstate:1"}})");
    ExpectRequest(CIMRequests::MergeSyncStateIdle(L"s1"), L"nylo://com.nylo.tempdb/merge",
                  R"({"objects":[{"_id":"s1","errorCode":"","errorText":"","syncState":"IDLE"}]})");
    const std::string unauthorized =
        R"("accountId":"account1","busAddress":"com.vexla.im","capabilityProvider":"com.vexla.messaging",)"
        R"("errorCode":"401_UNAUTHORIZED","errorText":"Incorrect Password","syncState":"ERROR")";
    ExpectRequest(CIMRequests::WriteSyncStateUnauthorized(L"account1", L"s1"), L"nylo://com.nylo.tempdb/merge",
                  R"({"objects":[{)" + unauthorized + R"(,"_id":"s1"}]})");
    ExpectRequest(CIMRequests::WriteSyncStateUnauthorized(L"account1", L""), L"nylo://com.nylo.tempdb/put",
                  R"({"objects":[{)" + unauthorized + R"(,"_kind":"com.nylo.account.syncstate:1"}]})");
}

TEST(IMRequestsTest, AccountDeletionAndPowerDown)
{
    ExpectRequest(CIMRequests::DeleteAll(KIND_IMBUDDYSTATUS, true), L"nylo://com.nylo.tempdb/del",
                  R"({"query":{"from":"com.nylo.imbuddystatus.vexla:1"}})");
    ExpectRequest(CIMRequests::DeleteAll(KIND_CONTACT, false), L"nylo://com.nylo.db/del",
                  R"({"query":{"from":"com.nylo.contact.vexla:1"}})");
    ExpectRequest(CIMRequests::DeleteSyncState(L"account1"), L"nylo://com.nylo.tempdb/del",
                  R"({"query":{"from":"com.nylo.account.syncstate:1","where":[{"prop":"accountId","op":"=","val":"account1"},)"
                  R"({"prop":"capabilityProvider","op":"=","val":"com.vexla.messaging"}]}})");
    ExpectRequest(CIMRequests::SubscribePoweringOff(), L"nylo://com.nylo.telephony/poweringOff", R"({"subscribe":true})");
    ExpectRequest(CIMRequests::RegisterPowerDown(true), L"nylo://com.nylo.telephony/registerPowerDownApplication",
                  R"({"register":true,"clientName":"com.vexla.im"})");
    ExpectRequest(CIMRequests::RegisterPowerDown(false), L"nylo://com.nylo.telephony/registerPowerDownApplication",
                  R"({"register":false,"clientName":"com.vexla.im"})");
    ExpectRequest(CIMRequests::PowerDownAck(12), L"nylo://com.nylo.telephony/powerDownAck", R"({"clientId":12})");
}

TEST(ActivityCycleTest, OnlyAFiredTriggerCounts)
{
    EXPECT_TRUE(CActivityCycle::IsFired(CJSONObject(R"({"$activity":{"trigger":{"returnValue":true,"fired":true}}})")));
    EXPECT_FALSE(CActivityCycle::IsFired(CJSONObject(R"({"$activity":{"trigger":{"fired":false}}})")));
    EXPECT_FALSE(CActivityCycle::IsFired(CJSONObject(R"({"$activity":{"trigger":{"fired":"yes"}}})")));
    EXPECT_FALSE(CActivityCycle::IsFired(CJSONObject(R"({"$activity":{"name":"Vexla keep alive"}})")));
    EXPECT_FALSE(CActivityCycle::IsFired(CJSONObject("not json")));
}
