// The message records and group chat requests of the transport's message side.

#include <gtest/gtest.h>

#include <string>

#include "Tesk/App/Meridex/IMChatRequests.h"
#include "Tesk/App/Meridex/IMMessageRecord.h"
#include "Tesk/Core/JSONArray.h"
#include "Tesk/Core/JSONObject.h"
#include "Utils/Utils.h"

namespace {

std::wstring Text(const CJSONObject& object, const char* key)
{
    std::wstring value;
    object.GetString(key, &value);
    return value;
}

std::wstring From(const CJSONObject& record)
{
    CJSONObject from;
    record.GetObject("from", &from);
    return Text(from, "addr");
}

std::wstring OnlyTo(const CJSONObject& record)
{
    CJSONArray to;
    CJSONObject first;
    if (!record.GetArray("to", &to) || to.arraySize() != 1 || !to.GetObject(0, &first))
        return L"<not one recipient>";
    return Text(first, "addr");
}

}  // namespace

TEST(IMMessageRecordTest, AnIncomingMessageGoesToTheInboxFromItsAuthorToTheUser)
{
    CJSONObject record = CIMMessageRecord::Chat(L"me", L"bob", L"bob", L"", L"hi", 1700000000, 1700000002).ToJSON();
    EXPECT_EQ(Text(record, "_kind"), L"com.nylo.immessage.vexla:1");
    EXPECT_EQ(Text(record, "status"), L"successful");
    EXPECT_EQ(Text(record, "folder"), L"inbox");
    EXPECT_EQ(Text(record, "imType"), L"message");
    EXPECT_EQ(Text(record, "serviceName"), L"type_vexla");
    EXPECT_EQ(Text(record, "username"), L"me");
    EXPECT_EQ(Text(record, "messageText"), L"hi");
    EXPECT_EQ(From(record), L"bob");
    EXPECT_EQ(OnlyTo(record), L"me");
    EXPECT_FALSE(record.Has("groupChatName"));
    long long timestamp = 0;
    long long localTimestamp = 0;
    ASSERT_TRUE(record.GetLong("timestamp", &timestamp));
    ASSERT_TRUE(record.GetLong("localTimestamp", &localTimestamp));
    EXPECT_EQ(timestamp, 1700000000000LL);
    EXPECT_EQ(localTimestamp, 1700000002000LL);
}

TEST(IMMessageRecordTest, TheUsersOwnMessageGoesToTheOutboxAddressedToThePartnerOrGroup)
{
    CJSONObject own = CIMMessageRecord::Chat(L"me", L"me", L"bob", L"", L"yo", 1, 1).ToJSON();
    EXPECT_EQ(Text(own, "folder"), L"outbox");
    EXPECT_EQ(From(own), L"me");
    EXPECT_EQ(OnlyTo(own), L"bob");

    CJSONObject group = CIMMessageRecord::Chat(L"me", L"carol", L"me1700", L"me1700", L"all", 1, 1).ToJSON();
    EXPECT_EQ(Text(group, "groupChatName"), L"me1700");
    EXPECT_EQ(From(group), L"carol");
    EXPECT_EQ(OnlyTo(group), L"me");
}

TEST(IMMessageRecordTest, ASystemMessageIsFromTheUserToTheGroup)
{
    CJSONObject record = CIMMessageRecord::System(L"me", L"#chat1", L"bob left the chat.", 5, 6).ToJSON();
    EXPECT_EQ(Text(record, "folder"), L"system");
    EXPECT_EQ(Text(record, "imType"), L"system");
    EXPECT_EQ(From(record), L"me");
    EXPECT_EQ(OnlyTo(record), L"#chat1");
    EXPECT_EQ(Text(record, "groupChatName"), L"#chat1");
}

TEST(IMMessageRecordTest, AStoredRecordMatchesOnlyWithTheSameTimeSenderRecipientGroupAndText)
{
    const CIMMessageRecord message = CIMMessageRecord::Chat(L"me", L"bob", L"bob", L"", L"hi", 100, 105);
    EXPECT_TRUE(message.Matches(message.ToJSON()));
    // The local time, folder and status are not part of it.
    CJSONObject later = CIMMessageRecord::Chat(L"me", L"bob", L"bob", L"", L"hi", 100, 999).ToJSON();
    later.SetString("status", L"read");
    EXPECT_TRUE(message.Matches(later));

    for (const CIMMessageRecord& other : {CIMMessageRecord::Chat(L"me", L"bob", L"bob", L"", L"hi", 101, 105),
                                          CIMMessageRecord::Chat(L"me", L"carol", L"carol", L"", L"hi", 100, 105),
                                          CIMMessageRecord::Chat(L"you", L"bob", L"bob", L"", L"hi", 100, 105),
                                          CIMMessageRecord::Chat(L"me", L"bob", L"bob", L"#g", L"hi", 100, 105),
                                          CIMMessageRecord::Chat(L"me", L"bob", L"bob", L"", L"hi!", 100, 105)})
        EXPECT_FALSE(message.Matches(other.ToJSON())) << VexlaLib::CUtils::ConvertWideToChar(other.text);

    // Fields run together the same way are still different messages.
    const CIMMessageRecord joined = CIMMessageRecord::Chat(L"me", L"bob", L"bob", L"ab", L"c", 100, 105);
    EXPECT_FALSE(joined.Matches(CIMMessageRecord::Chat(L"me", L"bob", L"bob", L"a", L"bc", 100, 105).ToJSON()));

    const CJSONObject noTime("{\"from\":{\"addr\":\"bob\"},\"to\":[{\"addr\":\"me\"}],\"messageText\":\"hi\"}");
    CIMMessageRecord::TFingerprint fingerprint;
    EXPECT_FALSE(CIMMessageRecord::FingerprintOf(noTime, &fingerprint));
    EXPECT_FALSE(message.Matches(noTime));
    EXPECT_FALSE(message.Matches(CJSONObject()));
}

TEST(IMMessageRecordTest, ABuddyInviteNamesTheDisplayStringOnlyWhenItDiffers)
{
    CJSONObject invite = CIMChatRequests::BuddyInvite(L"me", L"bob", L"add me", L"Bob B");
    EXPECT_EQ(Text(invite, "command"), L"receivedBuddyInvite");
    EXPECT_EQ(Text(invite, "handler"), L"application");
    EXPECT_EQ(Text(invite, "targetUsername"), L"me");
    EXPECT_EQ(Text(invite, "fromUsername"), L"bob");
    CJSONObject params;
    ASSERT_TRUE(invite.GetObject("params", &params));
    EXPECT_EQ(Text(params, "message"), L"add me");
    EXPECT_EQ(Text(params, "displayName"), L"Bob B");

    CJSONObject plain = CIMChatRequests::BuddyInvite(L"me", L"bob", L"", L"bob");
    ASSERT_TRUE(plain.GetObject("params", &params));
    EXPECT_FALSE(params.Has("displayName"));
}

TEST(IMMessageRecordTest, RebindingAGroupChatUnlocksItAndLeavingLocksIt)
{
    CPlatformRequest rebind = CIMChatRequests::RebindGroupChat(L"id1", L"#u", 12);
    EXPECT_EQ(rebind.uri, L"nylo://com.nylo.db/merge");
    EXPECT_NE(rebind.Payload().find(L"\"locked\":false"), std::wstring::npos) << rebind.Payload();
    EXPECT_NE(rebind.Payload().find(L"\"chatHandle\":12"), std::wstring::npos);
    CPlatformRequest lock = CIMChatRequests::LockGroupChat(L"id1");
    EXPECT_NE(lock.Payload().find(L"\"locked\":true"), std::wstring::npos) << lock.Payload();
}
