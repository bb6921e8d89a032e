#include <gtest/gtest.h>

#include "CallTestFixture.h"
#include "Handlers/CallHandler.h"
#include "support/LogCapture.h"

using namespace VexlaLib;
using namespace VexlaTest;

namespace {

class CVoicemailTest : public CCallFixture {
protected:
    // Three voicemails: 1 from bob, 2 from carol, 7 from dave; events forgotten.
    void ThreeVoicemails()
    {
        Deliver(Voicemails({VoicemailRecord(1, L"bob", 100), VoicemailRecord(2, L"carol", 300),
                            VoicemailRecord(7, L"dave", 200)}));
        ClearEvents();
    }
    int Handle(int index) { return Voicemail(index)->GetHandle(); }
    size_t VoicemailCount()
    {
        int count = 0;
        for (const auto& event : m_lib.GetModel().GetOrCreateEventList()->GetList(false))
            count += event->GetType() == CObjectBase::OBJECT_VOICEMAIL ? 1 : 0;
        return static_cast<size_t>(count);
    }
};

}  // namespace

TEST_F(CVoicemailTest, RecordsAddAndUpdateVoicemails)
{
    Deliver(Voicemails({VoicemailRecord(1, L"bob", 1000).Int(KEY_DURATION, 12).Str(KEY_SUBJECT, L"hi"),
                        CTestPacket::Record().Str(KEY_VEXLANAME, L"noindex")}));
    EXPECT_EQ((std::vector<std::string>{"OnEventAdded(bob)", "OnEventListUpdated"}), m_listener.m_events);
    CVoicemail* voicemail = Voicemail(1);
    ASSERT_NE(nullptr, voicemail);
    EXPECT_EQ(voicemail, m_lib.GetModel().GetVoicemail(voicemail->GetHandle()));
    EXPECT_TRUE(voicemail->IsMissed());
    EXPECT_EQ(12, voicemail->GetDuration());
    EXPECT_EQ(L"hi", voicemail->GetSubject());
    EXPECT_EQ(1000, voicemail->GetEventServerTimestamp());
    EXPECT_EQ(1u, VoicemailCount());

    // Unchanged records report nothing; a changed one is updated; unmentioned ones stay.
    ClearEvents();
    Deliver(Voicemails({VoicemailRecord(1, L"bob", 1000)}));
    EXPECT_TRUE(m_listener.m_events.empty());
    Deliver(Voicemails({VoicemailRecord(2, L"carol"), VoicemailRecord(1, L"bob").Str(KEY_FULLNAME, L"Bob B")}));
    EXPECT_EQ((std::vector<std::string>{"OnEventAdded(carol)", "OnEventUpdated(Bob B)", "OnEventListUpdated"}),
              m_listener.m_events);
    EXPECT_EQ(2u, VoicemailCount());
}

TEST_F(CVoicemailTest, NewestVoicemailSortsFirst)
{
    ThreeVoicemails();
    const auto& list = m_lib.GetModel().GetEventList()->GetList(true);
    ASSERT_EQ(3u, list.size());
    EXPECT_EQ(Voicemail(2), list[0].get());
    EXPECT_EQ(Voicemail(7), list[1].get());
    // A later timestamp moves a voicemail to the front.
    Deliver(Voicemails({VoicemailRecord(1, L"bob", 400)}));
    EXPECT_EQ(Voicemail(1), m_lib.GetModel().GetEventList()->GetList(true)[0].get());
}

TEST_F(CVoicemailTest, MarkingHeardReportsOnlyARealChange)
{
    ThreeVoicemails();
    ASSERT_TRUE(m_lib.MarkVoicemailAsRead(Handle(1)));
    ASSERT_TRUE(m_lib.MarkVoicemailAsRead(Handle(1)));
    Step();
    EXPECT_EQ((std::vector<std::string>{"OnEventUpdated(bob)", "OnEventListUpdated"}), m_listener.m_events);
    EXPECT_FALSE(Voicemail(1)->IsMissed());

    ClearEvents();
    ASSERT_TRUE(m_lib.MarkAllVoicemailsAsRead());
    Step();
    EXPECT_EQ((std::vector<std::string>{"OnEventListUpdated"}), m_listener.m_events);
    EXPECT_FALSE(Voicemail(2)->IsMissed());
    ClearEvents();
    ASSERT_TRUE(m_lib.MarkAllVoicemailsAsRead());
    Step();
    EXPECT_TRUE(m_listener.m_events.empty());
    // Nothing of this goes to the server.
    EXPECT_TRUE(Sent(CHUNK_DELETEVOICEMAIL).empty());
}

TEST_F(CVoicemailTest, DeletingOneTellsTheServerAndDropsIt)
{
    ThreeVoicemails();
    const int handle = Handle(7);
    ASSERT_TRUE(m_lib.DeleteVoicemail(handle));
    ASSERT_EQ(1u, Sent(CHUNK_DELETEVOICEMAIL).size());
    EXPECT_EQ(7, IntOf(Sent(CHUNK_DELETEVOICEMAIL).back(), KEY_VMINDEX));
    EXPECT_FALSE(HasAttr(Sent(CHUNK_DELETEVOICEMAIL).back(), KEY_REQUEST_ID));
    EXPECT_EQ(nullptr, Voicemail(7));
    EXPECT_EQ(nullptr, m_lib.GetModel().GetVoicemail(handle));
    EXPECT_FALSE(m_lib.DeleteVoicemail(handle));
    Step();
    EXPECT_EQ((std::vector<std::string>{"OnEventDeleted(dave)", "OnEventListUpdated"}), m_listener.m_events);
}

TEST_F(CVoicemailTest, DeletingAllLeavesOtherEventsAlone)
{
    ThreeVoicemails();
    m_lib.GetModel().GetEventList()->CreateAuthRequest(m_lib.GetModel().GetNewObjectHandle(), L"frank");
    ASSERT_TRUE(m_lib.DeleteAllVoicemails());
    Step();
    EXPECT_EQ(3u, Sent(CHUNK_DELETEVOICEMAIL).size());
    EXPECT_EQ(0u, VoicemailCount());
    EXPECT_EQ(1u, m_lib.GetModel().GetEventList()->GetCount());
    EXPECT_EQ(3u, m_listener.CountNamed("OnEventDeleted"));
    EXPECT_EQ(1u, m_listener.Count("OnEventListUpdated"));

    // With nothing to delete nothing is sent or reported.
    ClearEvents();
    ASSERT_TRUE(m_lib.DeleteAllVoicemails());
    Step();
    EXPECT_TRUE(m_listener.m_events.empty());
    EXPECT_EQ(3u, Sent(CHUNK_DELETEVOICEMAIL).size());
}

TEST_F(CVoicemailTest, ListeningUsesTheVoicemailPrefixOrTheServer)
{
    ApplySetup(FullSetup({1, 3}));
    ThreeVoicemails();
    ASSERT_TRUE(m_lib.RequestListenVoicemail(Handle(7)));
    EXPECT_EQ((std::vector<std::string>{"OnUseDialOutNumber(5007)"}), CallEvents());
    EXPECT_TRUE(Sent(CHUNK_LISTENVOICEMAIL).empty());

    // Index 30 lies outside the voicemail range of 20: the server is asked with method 3.
    Deliver(Voicemails({VoicemailRecord(30, L"erin")}));
    ClearEvents();
    ASSERT_TRUE(m_lib.RequestListenVoicemail(Handle(30)));
    ASSERT_EQ(1u, Sent(CHUNK_LISTENVOICEMAIL).size());
    const TPacketSPtr request = Sent(CHUNK_LISTENVOICEMAIL).back();
    EXPECT_EQ(3, IntOf(request, KEY_CALLMETHOD));
    EXPECT_EQ(30, IntOf(request, KEY_VMINDEX));
    Deliver(Answer(IntOf(request, KEY_REQUEST_ID), L"+3188"));
    EXPECT_EQ((std::vector<std::string>{"OnUseDialOutNumber(+3188)"}), CallEvents());
}

TEST_F(CVoicemailTest, UnansweredListenRequestTimesOut)
{
    ApplySetup(FullSetup({2}));
    ThreeVoicemails();
    CLogCapture::Get().Clear();
    ASSERT_TRUE(m_lib.RequestListenVoicemail(Handle(1)));
    Advance(CCallHandler::NUMBER_REQUEST_TIMEOUT_MS);
    EXPECT_EQ((std::vector<std::string>{"OnDialOutFailed(5)"}), CallEvents());
    EXPECT_TRUE(CLogCapture::Get().Contains(L"Listen to voicemail request time-out."));
}
