// The request forms sent to the platform's databases, activity manager and phone and system services.

#include "Tesk/Core/ActivityRequest.h"
#include "Tesk/Core/DbRequest.h"
#include "Tesk/Core/SystemRequest.h"

#include <gtest/gtest.h>

namespace
{
std::string Text(const CJSONValue& value)
{
    std::string text;
    EXPECT_TRUE(value.ToString(&text));
    return text;
}

void ExpectRequest(const CPlatformRequest& request, const std::wstring& uri, const std::string& payload)
{
    EXPECT_EQ(request.uri, uri);
    EXPECT_EQ(Text(request.payload), payload);
}
} // namespace

TEST(DbRequestTest, BuildsEveryDatabaseForm)
{
    const CDbQuery outbox = CDbQuery(L"com.nylo.immessage.vexla:1").Where("folder", "=", L"outbox").Where("_rev", ">", 0);
    ExpectRequest(CDbRequest::Find(DB_PERSISTENT, outbox), L"nylo://com.nylo.db/find",
                  R"({"query":{"from":"com.nylo.immessage.vexla:1","where":[{"prop":"folder","op":"=","val":"outbox"},{"prop":"_rev","op":">","val":0}]}})");
    ExpectRequest(CDbRequest::Find(DB_TEMPORARY, CDbQuery(L"k:1")), L"nylo://com.nylo.tempdb/find", R"({"query":{"from":"k:1"}})");
    ExpectRequest(CDbRequest::Get(DB_PERSISTENT, {L"a", L"b"}), L"nylo://com.nylo.db/get", R"({"ids":["a","b"]})");
    ExpectRequest(CDbRequest::Del(DB_TEMPORARY, {L"a"}), L"nylo://com.nylo.tempdb/del", R"({"ids":["a"]})");
    ExpectRequest(CDbRequest::DelMatching(DB_TEMPORARY, CDbQuery(L"k:1")), L"nylo://com.nylo.tempdb/del", R"({"query":{"from":"k:1"}})");

    CJSONObject record;
    record.SetString("_kind", "k:1");
    CJSONArray records;
    records.AddObject(record);
    ExpectRequest(CDbRequest::Put(DB_PERSISTENT, records), L"nylo://com.nylo.db/put", R"({"objects":[{"_kind":"k:1"}]})");
    ExpectRequest(CDbRequest::Merge(DB_PERSISTENT, records), L"nylo://com.nylo.db/merge", R"({"objects":[{"_kind":"k:1"}]})");
    ExpectRequest(CDbRequest::Put(DB_TEMPORARY, record), L"nylo://com.nylo.tempdb/put", R"({"objects":[{"_kind":"k:1"}]})");
    ExpectRequest(CDbRequest::Merge(DB_TEMPORARY, record), L"nylo://com.nylo.tempdb/merge", R"({"objects":[{"_kind":"k:1"}]})");
    CJSONObject props;
    props.SetBool("read", true);
    ExpectRequest(CDbRequest::MergeMatching(DB_PERSISTENT, props, CDbQuery(L"k:1").Where("flag", "=", false)), L"nylo://com.nylo.db/merge",
                  R"({"query":{"from":"k:1","where":[{"prop":"flag","op":"=","val":false}]},"props":{"read":true}})");
    EXPECT_EQ(Text(CDbRequest::WatchTrigger(DB_PERSISTENT, CDbQuery(L"k:1"))),
              R"({"key":"fired","method":"nylo://com.nylo.db/watch","params":{"query":{"from":"k:1"}}})");
}

TEST(ActivityRequestTest, BuildsEveryActivityManagerForm)
{
    CJSONObject type;
    type.SetBool("foreground", true);
    CJSONObject activity = CActivityRequest::Activity(L"Vexla imcommand", L"Watch for changes to imcommand", type,
                                                      L"nylo://com.vexla.im/imcommandChanged");
    activity.SetObject("trigger", CActivityRequest::SubscriptionTrigger(L"nylo://com.nylo.telephony/networkStatusQuery",
                                                                        CJSONObject(R"({"subscribe":true})")));
    ExpectRequest(CActivityRequest::Create(activity, true), L"nylo://com.nylo.activitymanager/create",
                  R"({"activity":{"name":"Vexla imcommand","description":"Watch for changes to imcommand","type":{"foreground":true},)"
                  R"("callback":{"method":"nylo://com.vexla.im/imcommandChanged"},)"
                  R"("trigger":{"method":"nylo://com.nylo.telephony/networkStatusQuery","params":{"subscribe":true}}},"start":true,"replace":true})");
    EXPECT_EQ(Text(CActivityRequest::Create(CJSONObject(), false).payload), R"({"activity":{},"start":true})");
    ExpectRequest(CActivityRequest::Adopt(L"A"), L"nylo://com.nylo.activitymanager/adopt",
                  R"({"activityName":"A","wait":true,"subscribe":true})");
    ExpectRequest(CActivityRequest::Complete(L"A"), L"nylo://com.nylo.activitymanager/complete",
                  R"({"activityName":"A","restart":false,"callback":false,"schedule":false,"requirements":false,"trigger":false})");
    ExpectRequest(CActivityRequest::Cancel(L"A"), L"nylo://com.nylo.activitymanager/cancel", R"({"activityName":"A"})");
}

TEST(SystemRequestTest, BuildsEveryPhoneAndSystemForm)
{
    ExpectRequest(CSystemRequest::ConnectionStatus(), L"nylo://com.nylo.connectionmanager/getstatus", R"({"subscribe":true})");
    ExpectRequest(CSystemRequest::PhoneNumberQuery(), L"nylo://com.nylo.telephony/phoneNumberQuery", "{}");
    ExpectRequest(CSystemRequest::NetworkStatusQuery(), L"nylo://com.nylo.telephony/networkStatusQuery", "{}");
    ExpectRequest(CSystemRequest::DisplayStatus(), L"tesk://com.nylo.display/control/status", R"({"subscribe":true})");
    CJSONObject params;
    params.SetString("number", L"+15550100");
    ExpectRequest(CSystemRequest::Launch(L"com.nylo.app.phone", params), L"nylo://com.nylo.applicationManager/launch",
                  R"({"id":"com.nylo.app.phone","params":{"number":"+15550100"}})");
    ExpectRequest(CSystemRequest::AddRedirectHandler(L"com.nylo.app.phone", L"vexlavm://", true),
                  L"nylo://com.nylo.applicationManager/addRedirectHandler",
                  R"({"appId":"com.nylo.app.phone","urlPattern":"vexlavm://","schemeForm":true})");
}
