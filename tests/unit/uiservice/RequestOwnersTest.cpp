// The owners of the library requests that are outstanding only once: requests go to the library one
// at a time, in arrival order, each answer reaches the request that was asked, and every request is
// answered exactly once, also when its session ends, unless its caller went away.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Model/Profile.h"
#include "Network/AttrChunk.h"
#include "Network/AttrKey.h"
#include "Network/Packet.h"
#include "Tesk/App/DialOutRequests.h"
#include "Tesk/App/ProfileRequests.h"
#include "Tesk/App/RequestQueue.h"
#include "support/LibraryFixture.h"

namespace {

using TQueue = CRequestQueue<std::string>;

// A queue whose asks and answers are recorded as text.
class RequestQueueTest : public ::testing::Test {
protected:
    int Add(const std::string& name, TQueue::TAskResult result = TQueue::ASK_SENT)
    {
        return m_queue.Add(
            [this, name, result]() {
                m_log.push_back("ask " + name);
                return result;
            },
            [this, name](const std::string& answer) { m_log.push_back(name + ": " + answer); });
    }

    TQueue m_queue{"refused", false};
    std::vector<std::string> m_log;
};

TEST_F(RequestQueueTest, RequestsGoOneAtATimeAndEachAnswerReachesTheOneAsked)
{
    Add("a");
    Add("b");
    Add("c");
    EXPECT_EQ(m_log, (std::vector<std::string>{"ask a"}));
    EXPECT_TRUE(m_queue.Answer("1"));
    EXPECT_TRUE(m_queue.Answer("2"));
    EXPECT_TRUE(m_queue.Answer("3"));
    EXPECT_FALSE(m_queue.Answer("nobody's"));
    EXPECT_EQ(m_log, (std::vector<std::string>{"ask a", "a: 1", "ask b", "b: 2", "ask c", "c: 3"}));
}

TEST_F(RequestQueueTest, ARefusedRequestIsAnsweredAtOnceAndTheNextOneGoes)
{
    Add("a", TQueue::ASK_REFUSED);
    EXPECT_EQ(m_log, (std::vector<std::string>{"ask a", "a: refused"}));
    EXPECT_TRUE(m_queue.IsEmpty());

    Add("b");
    Add("c", TQueue::ASK_REFUSED);
    Add("d");
    m_queue.Answer("1");
    EXPECT_EQ(m_log, (std::vector<std::string>{"ask a", "a: refused", "ask b", "b: 1", "ask c", "c: refused", "ask d"}));
}

TEST_F(RequestQueueTest, AnAnswerGivenWhileAskingEndsThatRequestOnly)
{
    m_queue.Add([this]() {
        m_queue.Answer("at once");
        return TQueue::ASK_SENT;
    }, [this](const std::string& answer) { m_log.push_back("a: " + answer); });
    Add("b");
    EXPECT_EQ(m_log, (std::vector<std::string>{"a: at once", "ask b"}));
    EXPECT_TRUE(m_queue.IsOutstanding());
}

TEST_F(RequestQueueTest, AWithdrawnRequestIsNeverAnswered)
{
    const int a = Add("a");
    const int b = Add("b");
    Add("c");
    m_queue.Withdraw(b);  // waiting: simply dropped
    m_queue.Withdraw(a);  // at the library: its answer still ends it, and is dropped
    EXPECT_EQ(m_log, (std::vector<std::string>{"ask a"}));
    m_queue.Answer("for a");
    m_queue.Answer("for c");
    EXPECT_EQ(m_log, (std::vector<std::string>{"ask a", "ask c", "c: for c"}));
}

TEST_F(RequestQueueTest, WhenTheLibraryReplacesItsRequestAWithdrawnOneLetsTheNextGoAtOnce)
{
    TQueue queue("refused", true);
    std::vector<std::string> log;
    const int first = queue.Add([&] { log.push_back("ask a"); return TQueue::ASK_SENT; },
                                [&](const std::string& answer) { log.push_back("a: " + answer); });
    queue.Add([&] { log.push_back("ask b"); return TQueue::ASK_SENT; },
              [&](const std::string& answer) { log.push_back("b: " + answer); });
    queue.Withdraw(first);
    queue.Answer("1");
    EXPECT_EQ(log, (std::vector<std::string>{"ask a", "ask b", "b: 1"}));
}

TEST_F(RequestQueueTest, EndingAllAnswersEveryRequestOnce)
{
    Add("a");
    Add("b");
    m_queue.EndAll("ended");
    EXPECT_FALSE(m_queue.Answer("late"));
    EXPECT_EQ(m_log, (std::vector<std::string>{"ask a", "a: ended", "b: ended"}));
}

TEST_F(RequestQueueTest, ARequestTheLibraryIsTooBusyForWaitsForRetry)
{
    bool busy = true;
    m_queue.Add([&] {
        m_log.push_back("ask a");
        return busy ? TQueue::ASK_WAIT : TQueue::ASK_SENT;
    }, [this](const std::string& answer) { m_log.push_back("a: " + answer); });
    EXPECT_FALSE(m_queue.IsOutstanding());
    EXPECT_FALSE(m_queue.Answer("not ours"));
    busy = false;
    m_queue.Retry();
    m_queue.Answer("1");
    EXPECT_EQ(m_log, (std::vector<std::string>{"ask a", "ask a", "a: 1"}));
}

// The owners on a library with a scripted server.
class RequestOwnersTest : public VexlaTest::CLibraryFixture {
protected:
    void SignInWithCalls()
    {
        SignInWithList({});
        Receive(VexlaTest::CTestPacket(VexlaLib::CHUNK_CALLSETUP)
                    .Ints(VexlaLib::KEY_CALLMETHODS, {2})
                    .Int(VexlaLib::KEY_VO_ENABLED, 1));
        Drain();
    }
    // Asks for the number of a Vexla-out call; its answer is recorded under `name`.
    int Call(const std::wstring& number, const std::string& name)
    {
        return m_dialOut.Request([number](VexlaLib::CVexlaLib& library) { return library.RequestVexlaOutCall(number); },
                                 [this, name](const CDialOutRequests::TAnswer& answer) {
                                     m_answers.push_back(name + ": " + Describe(answer));
                                 });
    }
    static std::string Describe(const CDialOutRequests::TAnswer& answer)
    {
        switch (answer.outcome) {
        case CDialOutRequests::DIALOUT_NUMBER: return std::string(answer.number.begin(), answer.number.end());
        case CDialOutRequests::DIALOUT_FAILED: return "failed " + std::to_string(answer.error);
        case CDialOutRequests::DIALOUT_REFUSED: return "refused";
        case CDialOutRequests::DIALOUT_SESSION_ENDED: return "session ended";
        }
        return "?";
    }
    // The targets of the number requests sent, in order.
    std::vector<std::wstring> Placed() const
    {
        std::vector<std::wstring> targets;
        for (const VexlaLib::TPacketSPtr& packet : m_net->SentOfChunk(VexlaLib::CHUNK_PLACECALL)) {
            std::wstring target;
            packet->GetAttrString(VexlaLib::KEY_CALLTARGET, &target);
            targets.push_back(target);
        }
        return targets;
    }
    // Answers the number request sent `index`th (from 0) with `number`.
    void AnswerPlaced(size_t index, const std::wstring& number)
    {
        int id = 0;
        m_net->SentOfChunk(VexlaLib::CHUNK_PLACECALL).at(index)->GetAttrInt32(VexlaLib::KEY_REQUEST_ID, &id);
        Receive(VexlaTest::CTestPacket(VexlaLib::CHUNK_USEPSTNNUMBER)
                    .Int(VexlaLib::KEY_REQUEST_ID, id)
                    .Str(VexlaLib::KEY_CALLPSTNNUMBER, number));
        Drain();
    }

    CDialOutRequests m_dialOut{&m_lib};
    std::vector<std::string> m_answers;
};

TEST_F(RequestOwnersTest, NumberRequestsOfTwoCallersGetTheirOwnNumbersInTurn)
{
    SignInWithCalls();
    Call(L"+15551111", "first");
    Call(L"+15552222", "second");
    EXPECT_EQ(Placed(), (std::vector<std::wstring>{L"+15551111"}));

    AnswerPlaced(0, L"+4431");
    EXPECT_EQ(Placed(), (std::vector<std::wstring>{L"+15551111", L"+15552222"}));
    AnswerPlaced(1, L"+4432");
    EXPECT_EQ(m_answers, (std::vector<std::string>{"first: +4431", "second: +4432"}));
}

TEST_F(RequestOwnersTest, ACallerWhoLeavesLetsTheNextAskAtOnceAndItsLateNumberReachesNobody)
{
    SignInWithCalls();
    const int first = Call(L"+15551111", "first");
    Call(L"+15552222", "second");
    m_dialOut.Withdraw(first);
    EXPECT_EQ(Placed().size(), 2u);

    AnswerPlaced(0, L"+4431");  // the withdrawn request's: the library drops it
    EXPECT_TRUE(m_answers.empty());
    AnswerPlaced(1, L"+4432");
    EXPECT_EQ(m_answers, (std::vector<std::string>{"second: +4432"}));
}

TEST_F(RequestOwnersTest, ALogoutOrANewServerSessionAnswersEveryNumberRequest)
{
    SignInWithCalls();
    Call(L"+15551111", "first");
    Call(L"+15552222", "second");
    Receive(VexlaTest::CTestPacket(VexlaLib::CHUNK_LOGGEDIN));  // the server replaced the session
    Drain();
    EXPECT_EQ(m_answers, (std::vector<std::string>{"first: session ended", "second: session ended"}));

    m_answers.clear();
    Receive(VexlaTest::CTestPacket(VexlaLib::CHUNK_CALLSETUP).Ints(VexlaLib::KEY_CALLMETHODS, {2}).Int(VexlaLib::KEY_VO_ENABLED, 1));
    Drain();
    Call(L"+15553333", "third");
    Receive(VexlaTest::CTestPacket(VexlaLib::CHUNK_LOGGEDOUT));
    Drain();
    EXPECT_EQ(m_answers, (std::vector<std::string>{"third: session ended"}));

    m_answers.clear();
    Call(L"+15554444", "signed out");
    EXPECT_EQ(m_answers, (std::vector<std::string>{"signed out: refused"}));
}

TEST_F(RequestOwnersTest, AFailureAndAComputedNumberGoToTheRequestAskedEach)
{
    SignInWithList({});
    Receive(VexlaTest::CTestPacket(VexlaLib::CHUNK_CALLSETUP)
                .Ints(VexlaLib::KEY_CALLMETHODS, {2})
                .Int(VexlaLib::KEY_VO_ENABLED, 0));
    Drain();
    Call(L"+15551111", "no vexla-out");  // the library fails it while being asked
    m_dialOut.Request([](VexlaLib::CVexlaLib& library) { return library.RequestVexlaCall(L"bob"); },
                      [this](const CDialOutRequests::TAnswer& answer) { m_answers.push_back("bob: " + Describe(answer)); });
    AnswerPlaced(0, L"+4433");
    EXPECT_EQ(m_answers, (std::vector<std::string>{"no vexla-out: failed 2", "bob: +4433"}));
}

class ProfileRequestsTest : public VexlaTest::CLibraryFixture {
protected:
    // Signed in with the library's own profile request answered (mood "hi").
    void SignInWithProfile()
    {
        SignInWithList({});
        AnswerProfile(L"hi");
    }
    void AnswerProfile(const std::wstring& mood)
    {
        Receive(VexlaTest::CTestPacket(VexlaLib::CHUNK_PROFILEDATA)
                    .Str(VexlaLib::KEY_VEXLANAME, L"alice")
                    .Str(VexlaLib::KEY_MOOD_TEXT, mood));
        Drain();
    }
    int Save(const CProfileRequests::TChange& change, const std::string& name)
    {
        return m_profiles.Save(change, [this, name](CProfileRequests::TOutcome outcome) {
            m_outcomes.push_back(name + ": " + std::to_string(outcome));
        });
    }
    size_t Saves() const { return m_net->SentOfChunk(VexlaLib::CHUNK_SETPROFILEDATA).size(); }
    std::wstring SentMood(size_t index) const
    {
        std::wstring mood;
        m_net->SentOfChunk(VexlaLib::CHUNK_SETPROFILEDATA).at(index)->GetAttrString(VexlaLib::KEY_MOOD_TEXT, &mood);
        return mood;
    }
    int SentChatPolicy(size_t index) const
    {
        int policy = -1;
        m_net->SentOfChunk(VexlaLib::CHUNK_SETPROFILEDATA).at(index)->GetAttrInt32(VexlaLib::KEY_CHAT_POLICY, &policy);
        return policy;
    }

    CProfileRequests m_profiles{&m_lib};
    std::vector<std::string> m_outcomes;
};

TEST_F(ProfileRequestsTest, ChangesAreSavedInTurnAndNoneUndoesTheOther)
{
    SignInWithProfile();
    Save([](VexlaLib::CProfile& profile) { profile.SetMoodText(L"away for lunch"); }, "mood");
    Save([](VexlaLib::CProfile& profile) { profile.SetChatPolicy(1); }, "privacy");
    ASSERT_EQ(Saves(), 1u);
    EXPECT_EQ(SentMood(0), L"away for lunch");

    AnswerProfile(L"away for lunch");  // the server's answer to the save
    ASSERT_EQ(Saves(), 2u);
    EXPECT_EQ(SentMood(1), L"away for lunch");
    EXPECT_EQ(SentChatPolicy(1), 1);
    AnswerProfile(L"away for lunch");
    EXPECT_EQ(m_outcomes, (std::vector<std::string>{"mood: 0", "privacy: 0"}));
}

TEST_F(ProfileRequestsTest, ASaveWaitsWhileTheLibraryFetchesTheProfileForItself)
{
    SignInWithList({});  // the library asks for the profile: no answer yet
    Save([](VexlaLib::CProfile& profile) { profile.SetChatPolicy(1); }, "privacy");
    EXPECT_EQ(Saves(), 0u);  // no profile yet: refused
    EXPECT_EQ(m_outcomes, (std::vector<std::string>{"privacy: 1"}));

    AnswerProfile(L"hi");
    ASSERT_TRUE(m_lib.RequestProfile());  // a fetch of its own again
    Save([](VexlaLib::CProfile& profile) { profile.SetChatPolicy(1); }, "waiting");
    EXPECT_EQ(Saves(), 0u);
    AnswerProfile(L"hi");
    EXPECT_EQ(Saves(), 1u);
}

TEST_F(ProfileRequestsTest, ALogoutEndsTheSavesAndAWithdrawnOneIsNotAnswered)
{
    SignInWithProfile();
    Save([](VexlaLib::CProfile& profile) { profile.SetChatPolicy(1); }, "first");
    const int second = Save([](VexlaLib::CProfile& profile) { profile.SetChatPolicy(0); }, "second");
    Save([](VexlaLib::CProfile& profile) { profile.SetMoodText(L"x"); }, "third");
    m_profiles.Withdraw(second);
    Receive(VexlaTest::CTestPacket(VexlaLib::CHUNK_LOGGEDOUT));
    Drain();
    EXPECT_EQ(m_outcomes, (std::vector<std::string>{"first: 2", "third: 2"}));
    EXPECT_EQ(Saves(), 1u);
}

}  // namespace
