// The message writer against a recording bus: one find per server time and sender, records put in
// batches in order, duplicates (in the database or in the same burst) never written, a bounded memory
// of what the database holds.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Tesk/App/Meridex/IMMessageWriter.h"
#include "Tesk/Core/JSONArray.h"
#include "Tesk/Core/JSONObject.h"
#include "Utils/Utils.h"
#include "immessages/RecordingChatBus.h"

using namespace VexlaTest;

namespace {

const long long T = 1700000000;
const char REFUSED[] = "{\"returnValue\":false,\"errorCode\":-1,\"errorText\":\"disk full\"}";

CIMMessageRecord FromBob(const std::wstring& text, long long serverTime = T)
{
    return CIMMessageRecord::Chat(L"me", L"bob", L"bob", L"", text, serverTime, serverTime + 1);
}

// The texts of the records a put carries, in order.
std::vector<std::string> PutTexts(const CRecordedCall& put)
{
    std::vector<std::string> texts;
    CJSONArray objects;
    if (!CJSONObject(put.payload.c_str()).GetArray("objects", &objects))
        return texts;
    for (int i = 0; i < objects.arraySize(); ++i) {
        CJSONObject record;
        std::wstring text;
        objects.GetObject(i, &record);
        record.GetString("messageText", &text);
        texts.push_back(VexlaLib::CUtils::ConvertWideToChar(text));
    }
    return texts;
}

// A find reply holding `record` as the database stores it.
std::string Holding(const CIMMessageRecord& record)
{
    CJSONObject stored = record.ToJSON();
    stored.SetString("_id", L"stored1");
    std::string text;
    stored.ToString(&text);
    return "{\"returnValue\":true,\"results\":[" + text + "]}";
}

class IMMessageWriterTest : public ::testing::Test
{
protected:
    void NewWriter(size_t maxBatch, size_t maxKeys = CIMMessageIndex::DEFAULT_MAX_KEYS,
                   size_t maxFingerprints = CIMMessageIndex::DEFAULT_MAX_FINGERPRINTS)
    {
        m_writer.reset(new CIMMessageWriter(&m_bus, maxBatch, maxKeys, maxFingerprints));
    }
    // Hands `record` over; its callback notes `text` in m_written.
    void Write(const CIMMessageRecord& record)
    {
        m_writer->Write(record,
                        [this, record]() { m_written.push_back(VexlaLib::CUtils::ConvertWideToChar(record.text)); });
    }
    // The next call is a put of exactly `texts`; it is answered with `reply`.
    void ExpectPut(std::vector<std::string> texts, const char* reply = PUT_DONE)
    {
        CRecordedCall put = m_bus.Next(PUT);
        EXPECT_EQ(PutTexts(put), texts);
        put.Answer(reply);
    }

    CRecordingBus m_bus;
    std::unique_ptr<CIMMessageWriter> m_writer;
    std::vector<std::string> m_written;
};

}  // namespace

TEST_F(IMMessageWriterTest, ABurstSharingOneKeyCostsOneFindAndOnePutPerBatchInOrder)
{
    NewWriter(4);
    for (int i = 0; i < 10; ++i)
        Write(FromBob(L"m" + std::to_wstring(i)));
    ASSERT_EQ(m_bus.calls.size(), 1u) << "one call out at a time";
    CRecordedCall find = m_bus.Next(FIND);
    EXPECT_TRUE(find.Contains("\"prop\":\"from.addr\"")) << find.payload;
    EXPECT_TRUE(find.Contains(std::to_string(T * 1000).c_str())) << find.payload;
    find.Answer(NOTHING);

    ExpectPut({"m0", "m1", "m2", "m3"});
    EXPECT_EQ(m_written, (std::vector<std::string>{"m0", "m1", "m2", "m3"})) << "each runs once its put returned";
    // Handed over while a put is out: it joins the next batch without asking the database.
    CRecordedCall put = m_bus.Next(PUT);
    Write(FromBob(L"m10"));
    EXPECT_TRUE(m_bus.calls.empty());
    put.Answer(PUT_DONE);
    ExpectPut({"m8", "m9", "m10"});
    EXPECT_TRUE(m_bus.calls.empty());
    EXPECT_EQ(m_written.size(), 11u);
    EXPECT_EQ(m_written.back(), "m10");
}

TEST_F(IMMessageWriterTest, RecordsInTheDatabaseOrTwiceInTheBurstAreNotWrittenAndEveryCallbackRunsInOrder)
{
    NewWriter(50);
    Write(FromBob(L"new"));
    Write(FromBob(L"stored"));
    Write(FromBob(L"twice"));
    Write(FromBob(L"twice"));
    // The same text to someone else, or in a group, is another message.
    Write(CIMMessageRecord::Chat(L"me", L"bob", L"bob", L"#group", L"stored", T, T));
    m_bus.Next(FIND).Answer(Holding(FromBob(L"stored")));
    EXPECT_TRUE(m_written.empty()) << "the duplicates wait for the writes before them";
    ExpectPut({"new", "twice", "stored"});
    EXPECT_EQ(m_written, (std::vector<std::string>{"new", "stored", "twice", "twice", "stored"}));

    // The batch fetched again: all known, nothing asked, nothing written, each callback at once.
    m_written.clear();
    Write(FromBob(L"new"));
    Write(FromBob(L"stored"));
    EXPECT_TRUE(m_bus.calls.empty());
    EXPECT_EQ(m_written, (std::vector<std::string>{"new", "stored"}));
}

TEST_F(IMMessageWriterTest, AnotherKeyIsAskedOnlyOnceTheRecordsBeforeItArePut)
{
    NewWriter(50);
    Write(FromBob(L"a", T));
    Write(FromBob(L"b", T + 1));
    Write(FromBob(L"c", T));
    m_bus.Next(FIND).Answer(NOTHING);
    ExpectPut({"a"});
    CRecordedCall second = m_bus.Next(FIND);
    EXPECT_TRUE(second.Contains(std::to_string((T + 1) * 1000).c_str())) << second.payload;
    second.Answer(NOTHING);
    // The first key is still known: "c" needs no find of its own.
    ExpectPut({"b", "c"});
    EXPECT_EQ(m_written, (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_TRUE(m_bus.calls.empty());
}

TEST_F(IMMessageWriterTest, AKeyForgottenToTheBoundIsAskedAgain)
{
    NewWriter(50, 2);
    for (long long second : {T, T + 1, T + 2}) {
        Write(FromBob(L"x", second));
        m_bus.Next(FIND).Answer(NOTHING);
        ExpectPut({"x"});
    }
    // T + 2 and T + 1 are the two kept.
    Write(FromBob(L"y", T + 2));
    ExpectPut({"y"});
    // T was forgotten: the database, which has its "x" now, is asked again.
    Write(FromBob(L"x", T));
    m_bus.Next(FIND).Answer(Holding(FromBob(L"x", T)));
    EXPECT_TRUE(m_bus.calls.empty());
    EXPECT_EQ(m_written.size(), 5u);
}

TEST_F(IMMessageWriterTest, ForgettingAsksAgainAfterThePutUnderWay)
{
    NewWriter(50);
    Write(FromBob(L"a"));
    m_bus.Next(FIND).Answer(NOTHING);
    CRecordedCall put = m_bus.Next(PUT);
    m_writer->Forget();  // signed out while the put is out
    Write(FromBob(L"a"));
    EXPECT_TRUE(m_bus.calls.empty());
    put.Answer(PUT_DONE);
    m_bus.Next(FIND).Answer(Holding(FromBob(L"a")));
    EXPECT_TRUE(m_bus.calls.empty()) << "the database holds it since the put";
    EXPECT_EQ(m_written, (std::vector<std::string>{"a", "a"}));
}

TEST_F(IMMessageWriterTest, ARefusedPutCountsAsDoneAndItsKeyIsAskedAgain)
{
    NewWriter(50);
    Write(FromBob(L"a"));
    Write(FromBob(L"b"));
    m_bus.Next(FIND).Answer(NOTHING);
    ExpectPut({"a", "b"}, REFUSED);
    EXPECT_EQ(m_written, (std::vector<std::string>{"a", "b"}));

    // Not known to be there: a message handed over again is checked against the database.
    Write(FromBob(L"a"));
    m_bus.Next(FIND).Answer(NOTHING);
    ExpectPut({"a"});
    EXPECT_TRUE(m_bus.calls.empty());
}

TEST_F(IMMessageWriterTest, AFailedFindWritesTheMessageAndAsksAgainNextTime)
{
    NewWriter(50);
    Write(FromBob(L"a"));
    m_bus.Next(FIND).Answer(REFUSED);
    ExpectPut({"a"});
    Write(FromBob(L"a"));
    m_bus.Next(FIND).Answer(Holding(FromBob(L"a")));
    EXPECT_TRUE(m_bus.calls.empty());
    EXPECT_EQ(m_written.size(), 2u);
}

TEST_F(IMMessageWriterTest, ACallbackThatHandsOverAnotherWriteKeepsTheOrder)
{
    NewWriter(50);
    m_writer->Write(FromBob(L"first"), [this]() {
        m_written.push_back("first");
        Write(FromBob(L"third"));
    });
    Write(FromBob(L"second"));
    m_bus.Next(FIND).Answer(NOTHING);
    ExpectPut({"first", "second"});
    ExpectPut({"third"});
    EXPECT_EQ(m_written, (std::vector<std::string>{"first", "second", "third"}));
}

TEST_F(IMMessageWriterTest, AFullBacklogIsToldUntilItEasesAndTheBurstsKeyStaysKnownAfterIt)
{
    NewWriter(50, CIMMessageIndex::DEFAULT_MAX_KEYS, 10);
    std::vector<bool> told;
    m_writer->SetBacklogListener([&told](bool full) { told.push_back(full); });
    for (size_t i = 0; i + 1 < CIMMessageWriter::BACKLOG_FULL; ++i)
        Write(FromBob(L"m" + std::to_wstring(i)));
    EXPECT_TRUE(told.empty());
    Write(FromBob(L"last"));
    EXPECT_EQ(told, std::vector<bool>{true});
    m_bus.Next(FIND).Answer(NOTHING);
    // Each put of 50 leaves fewer waiting: eased once no more than BACKLOG_EASED wait.
    while (m_written.size() + CIMMessageWriter::BACKLOG_EASED < CIMMessageWriter::BACKLOG_FULL) {
        EXPECT_EQ(told, std::vector<bool>{true});
        m_bus.Next(PUT).Answer(PUT_DONE);
    }
    EXPECT_EQ(told, (std::vector<bool>{true, false}));
    while (!m_bus.calls.empty())
        m_bus.Next(PUT).Answer(PUT_DONE);
    EXPECT_EQ(m_written.size(), CIMMessageWriter::BACKLOG_FULL);
    EXPECT_EQ(told, (std::vector<bool>{true, false}));

    // The key holds more fingerprints than the bound, and still knows them all once the burst is written.
    Write(FromBob(L"m0"));
    Write(FromBob(L"last"));
    EXPECT_TRUE(m_bus.calls.empty());
    EXPECT_EQ(m_written.size(), CIMMessageWriter::BACKLOG_FULL + 2);
}
