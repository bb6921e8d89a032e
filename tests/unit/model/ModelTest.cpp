#include "Model/Availability.h"
#include "Model/Model.h"

#include <gtest/gtest.h>

#include <set>

using namespace VexlaLib;

namespace {

TEST(ModelTest, HandlesStartAtOneAndAreNeverReusedAcrossSessions)
{
    CModel model;
    EXPECT_EQ(1, model.GetNewObjectHandle());
    std::set<int> seen = {1};
    CContact* contact =
        model.GetOrCreateContactList()->CreateContact(model.GetNewObjectHandle(), 3, CAvailability::ONLINE, L"bob", L"");
    model.AddObject(contact);
    const int oldHandle = contact->GetHandle();
    seen.insert(oldHandle);

    model.ClearSessionData();
    EXPECT_EQ(nullptr, model.GetObjectBase(oldHandle));
    EXPECT_EQ(nullptr, model.GetContact(oldHandle));
    EXPECT_EQ(nullptr, model.GetContactList());
    for (int i = 0; i < 100; ++i)
        EXPECT_TRUE(seen.insert(model.GetNewObjectHandle()).second);
    EXPECT_EQ(103, model.GetNewObjectHandle());
    EXPECT_EQ(0u, seen.count(0));
}

TEST(ModelTest, TypedLookupsRefuseOtherTypesAndHandleZero)
{
    CModel model;
    CChat* chat = model.GetOrCreateEventList()->CreateChat(model.GetNewObjectHandle(), 77);
    CVoicemail* voicemail = model.GetEventList()->CreateVoicemail(model.GetNewObjectHandle(), 1);
    CAuthRequest* request = model.GetEventList()->CreateAuthRequest(model.GetNewObjectHandle(), L"eve");
    model.AddObject(chat);
    model.AddObject(voicemail);
    model.AddObject(request);

    EXPECT_EQ(chat, model.GetChat(chat->GetHandle()));
    EXPECT_EQ(nullptr, model.GetVoicemail(chat->GetHandle()));
    EXPECT_EQ(nullptr, model.GetContact(chat->GetHandle()));
    EXPECT_EQ(voicemail, model.GetVoicemail(voicemail->GetHandle()));
    EXPECT_EQ(nullptr, model.GetChat(voicemail->GetHandle()));
    EXPECT_EQ(request, model.GetAuthRequest(request->GetHandle()));
    EXPECT_EQ(request, model.GetObjectBase(request->GetHandle()));
    EXPECT_EQ(nullptr, model.GetObjectBase(0));
    EXPECT_EQ(nullptr, model.GetObjectBase(12345));

    EXPECT_STREQ("(C)", chat->GetTypeStr());
    EXPECT_STREQ("(V)", voicemail->GetTypeStr());
    EXPECT_STREQ("(A)", request->GetTypeStr());
    EXPECT_STREQ("(B)", CContact(9, 1, 2, L"b", L"").GetTypeStr());

    model.RemoveObject(chat);
    EXPECT_EQ(nullptr, model.GetChat(chat->GetHandle()));
    model.RemoveObject(chat);  // unknown: nothing happens
    const int voicemailHandle = voicemail->GetHandle();
    model.DeleteEvent(voicemail);
    EXPECT_EQ(nullptr, model.GetVoicemail(voicemailHandle));
    EXPECT_EQ(2u, model.GetEventList()->GetCount());
}

TEST(ModelTest, DeletingAListUnregistersItsObjects)
{
    CModel model;
    CContact* contact =
        model.GetOrCreateContactList()->CreateContact(model.GetNewObjectHandle(), 3, CAvailability::ONLINE, L"bob", L"");
    model.AddObject(contact);
    CChat* chat = model.GetOrCreateEventList()->CreateLocalChat(model.GetNewObjectHandle());
    model.AddObject(chat);
    const int contactHandle = contact->GetHandle();
    const int chatHandle = chat->GetHandle();

    model.DeleteContactList();
    model.DeleteEventList();
    EXPECT_EQ(nullptr, model.GetObjectBase(contactHandle));
    EXPECT_EQ(nullptr, model.GetObjectBase(chatHandle));
    model.DeleteContactList();  // absent: no effect
    model.DeleteContact(nullptr);
}

TEST(ModelTest, PartsAreCreatedOnceAndClearedTogether)
{
    CModel model;
    model.SetUserName(L"me");
    model.SetAvailability(CAvailability::AWAY);
    CProfile* profile = model.GetOrCreateProfile();
    EXPECT_EQ(profile, model.GetOrCreateProfile());
    EXPECT_EQ(profile, model.GetProfile());
    model.GetOrCreateCredit()->SetBalanceAmount(250);
    model.GetOrCreateCallSetup();
    model.GetOrCreateContactList();
    model.GetOrCreateEventList();

    CSearch* search = model.CreateSearch(L"smith");
    ASSERT_NE(nullptr, search);
    EXPECT_EQ(nullptr, model.CreateSearch(L"jones"));
    EXPECT_EQ(L"smith", model.GetSearch()->GetSearchString());
    model.DeleteSearch();
    EXPECT_NE(nullptr, model.CreateSearch(L"jones"));

    model.ClearSessionData();
    EXPECT_EQ(nullptr, model.GetProfile());
    EXPECT_EQ(nullptr, model.GetCredit());
    EXPECT_EQ(nullptr, model.GetCallSetup());
    EXPECT_EQ(nullptr, model.GetContactList());
    EXPECT_EQ(nullptr, model.GetEventList());
    EXPECT_EQ(nullptr, model.GetSearch());
    EXPECT_EQ(L"me", model.GetUserName());
    EXPECT_EQ(CAvailability::AWAY, model.GetOfficialAvailability());
    EXPECT_EQ(0, model.GetOrCreateCredit()->GetBalanceAmount());
}

TEST(ModelTest, ConnectingIsAFlagBesideTheOfficialAvailability)
{
    CModel model;
    EXPECT_TRUE(model.SetAvailability(CAvailability::CONNECTING));
    EXPECT_FALSE(model.SetAvailability(CAvailability::CONNECTING));
    EXPECT_TRUE(model.IsConnecting());
    EXPECT_EQ(CAvailability::UNKNOWN, model.GetOfficialAvailability());

    EXPECT_TRUE(model.SetAvailability(CAvailability::ONLINE));
    EXPECT_FALSE(model.IsConnecting());
    EXPECT_TRUE(model.SetAvailability(CAvailability::CONNECTING));
    EXPECT_FALSE(model.SetAvailability(CAvailability::ONLINE)) << "clearing the flag alone is no change";
    EXPECT_FALSE(model.IsConnecting());
    EXPECT_EQ(CAvailability::ONLINE, model.GetOfficialAvailability());
}

TEST(ModelTest, AvailabilityNames)
{
    EXPECT_STREQ("UNKNOWN", CAvailability::Lookup(0));
    EXPECT_STREQ("VEXLA_ME", CAvailability::Lookup(7));
    EXPECT_STREQ("BLOCKED_VEXLAOUT", CAvailability::Lookup(11));
    EXPECT_STREQ("CONNECTING", CAvailability::Lookup(14));
    EXPECT_STREQ("DELETED", CAvailability::Lookup(99));
    EXPECT_STREQ("<Invalid>", CAvailability::Lookup(15));
    EXPECT_STREQ("<Invalid>", CAvailability::Lookup(-1));
}

TEST(ModelTest, ProfileSettersAlwaysReportAChangeAndProfileCopies)
{
    CProfile profile;
    EXPECT_TRUE(profile.SetFullName(L""));
    EXPECT_TRUE(profile.SetBirthday(0));
    profile.SetCity(L"Oslo");
    profile.SetPstnPolicy(2);
    CProfile copy = profile;
    copy.SetCity(L"Bergen");
    EXPECT_EQ(L"Oslo", profile.GetCity());
    EXPECT_EQ(2, copy.GetPstnPolicy());
}

TEST(ModelTest, CallSetupMethods)
{
    CCallSetup setup;
    EXPECT_FALSE(setup.IsCallEnabled());
    EXPECT_EQ(L"", setup.GetCallMethodsString());
    EXPECT_EQ(-1, setup.GetDialInNumberRange());
    EXPECT_EQ(-1, setup.GetVmNumberRange());

    const int methods[] = {1, 3};
    setup.SetCallMethods(methods, 2);
    EXPECT_TRUE(setup.IsCallEnabled());
    EXPECT_EQ(L"1-3", setup.GetCallMethodsString());
    EXPECT_EQ(3, setup.GetCallMethodAt(1));

    const int unusable[] = {0, 4, 7};
    setup.SetCallMethods(unusable, 3);
    EXPECT_FALSE(setup.IsCallEnabled());
    EXPECT_EQ(L"0-4-7", setup.GetCallMethodsString());

    const int many[] = {9, 9, 9, 9, 9, 9, 9, 9, 2, 2};
    setup.SetCallMethods(many, 10);
    EXPECT_EQ(CCallSetup::MAX_CALL_METHODS, setup.GetCallMethodCount());
    EXPECT_FALSE(setup.IsCallEnabled()) << "methods past the eighth are dropped";

    setup.SetCallMethods(methods, -4);
    EXPECT_EQ(0, setup.GetCallMethodCount());

    EXPECT_TRUE(setup.SetGatewayNumber(L"+100"));
    EXPECT_FALSE(setup.SetGatewayNumber(L"+100"));
    EXPECT_TRUE(setup.EnableVexlaOut(true));
    EXPECT_FALSE(setup.EnableVexlaOut(true));
    EXPECT_TRUE(setup.IsVexlaOutEnabled());
}

TEST(ModelTest, SearchStatusAndResults)
{
    CSearch search(L"smith");
    EXPECT_FALSE(search.HasSearchId());
    EXPECT_FALSE(search.IsExtendable());
    EXPECT_FALSE(search.IsFinished());
    search.SetSearchId(42);
    EXPECT_TRUE(search.HasSearchId());
    search.SetStatus(CSearch::SEARCH_EXTENDABLE);
    EXPECT_TRUE(search.IsExtendable());
    search.SetStatus(CSearch::SEARCH_FINISHED);
    EXPECT_TRUE(search.IsFinished());
    EXPECT_FALSE(search.IsExtendable());

    search.CreateResult(L"jsmith", L"John Smith", L"NO");
    search.CreateResult(L"asmith", L"", L"");
    ASSERT_EQ(2u, search.GetResultCount());
    EXPECT_EQ(L"John Smith", search.GetResult(0)->GetFullName());
    EXPECT_EQ(L"asmith", search.GetResult(1)->GetVexlaName());
    EXPECT_EQ(nullptr, search.GetResult(2));
}

}  // namespace
