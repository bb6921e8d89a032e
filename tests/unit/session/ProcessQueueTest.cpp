// The throttled work queue: de-duplication, items per tick, erasure, and its library timer.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "support/LibraryFixture.h"
#include "Tesk/App/IProcessQueueWorker.h"
#include "Tesk/App/ProcessQueue.h"

namespace {

class CRecordingWorker : public IProcessQueueWorker {
public:
    void ProcessItem(std::wstring key) override
    {
        m_processed.push_back(key);
        if (m_queue != nullptr)
            m_queue->Add(key);
    }
    void ItemRemoved(std::wstring key) override { m_removed.push_back(key); }

    std::vector<std::wstring> m_processed;
    std::vector<std::wstring> m_removed;
    CProcessQueue* m_queue = nullptr;  // re-adds each key while it is being processed
};

typedef std::vector<std::wstring> TKeys;

TEST(ProcessQueueTest, KeyQueuedOnceAndHandedOutInOrderPerTick)
{
    CRecordingWorker worker;
    CProcessQueue queue(&worker, 2);
    queue.OnTimer(0);
    EXPECT_TRUE(worker.m_processed.empty());

    for (const wchar_t* key : {L"a", L"b", L"a", L"c", L"a"})
        queue.Add(key);
    EXPECT_EQ(queue.Size(), 3u);

    queue.OnTimer(0);
    EXPECT_EQ(worker.m_processed, (TKeys{L"a", L"b"}));
    queue.OnTimer(0);
    EXPECT_EQ(worker.m_processed, (TKeys{L"a", L"b", L"c"}));
    queue.OnTimer(0);
    EXPECT_EQ(worker.m_processed.size(), 3u);

    queue.Add(L"a");
    queue.OnTimer(0);
    EXPECT_EQ(worker.m_processed.back(), L"a");
    EXPECT_TRUE(worker.m_removed.empty());
}

TEST(ProcessQueueTest, KeyAddedWhileBeingProcessedIsNotQueuedAgain)
{
    CRecordingWorker worker;
    CProcessQueue queue(&worker, 5);
    worker.m_queue = &queue;
    queue.Add(L"a");
    queue.OnTimer(0);
    EXPECT_EQ(queue.Size(), 0u);
    worker.m_queue = nullptr;
}

TEST(ProcessQueueTest, EraseAllReportsKeysOldestFirstAndEmptiesTheQueue)
{
    CRecordingWorker worker;
    CProcessQueue queue(&worker, 2);
    queue.Add(L"a");
    queue.Add(L"b");
    queue.EraseAll();
    EXPECT_EQ(worker.m_removed, (TKeys{L"a", L"b"}));
    EXPECT_EQ(queue.Size(), 0u);

    queue.Add(L"a");
    queue.OnTimer(0);
    EXPECT_EQ(worker.m_processed, (TKeys{L"a"}));
}

TEST(ProcessQueueTest, DeletingTheQueueReportsEveryRemainingKey)
{
    CRecordingWorker worker;
    auto queue = std::make_unique<CProcessQueue>(&worker, 2);
    queue->Add(L"x");
    queue->Add(L"y");
    queue.reset();
    EXPECT_EQ(worker.m_removed, (TKeys{L"x", L"y"}));
    EXPECT_TRUE(worker.m_processed.empty());
}

class ProcessQueueTimerTest : public VexlaTest::CLibraryFixture {};

TEST_F(ProcessQueueTimerTest, LibraryTimerTicksEveryPeriodAndStopsWithTheQueue)
{
    CRecordingWorker worker;
    auto queue = std::make_unique<CProcessQueue>(&worker, 2);
    queue->StartTimer(m_lib, 5000);
    for (const wchar_t* key : {L"a", L"b", L"c", L"d", L"e"})
        queue->Add(key);

    Advance(4999);
    EXPECT_TRUE(worker.m_processed.empty());
    Advance(1);
    EXPECT_EQ(worker.m_processed, (TKeys{L"a", L"b"}));
    Advance(5000);
    EXPECT_EQ(worker.m_processed, (TKeys{L"a", L"b", L"c", L"d"}));

    // The timer stays with the library's timer manager: once the queue is gone it must not fire.
    queue.reset();
    EXPECT_EQ(worker.m_removed, (TKeys{L"e"}));
    Advance(5000);
    Advance(5000);
    EXPECT_EQ(worker.m_processed.size(), 4u);
}

}  // namespace
