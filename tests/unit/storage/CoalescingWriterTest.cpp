#include <gtest/gtest.h>

#include <condition_variable>
#include <future>
#include <mutex>

#include "Utils/CoalescingWriter.h"

using VexlaLib::CCoalescingWriter;

namespace {

// A write that counts itself, records the value it "snapshots", and can be held inside until released.
class GatedWrite
{
public:
    bool operator()()
    {
        std::unique_lock<std::mutex> guard(m_lock);
        ++m_started;
        m_snapshots.push_back(m_value);
        m_changed.notify_all();
        m_changed.wait(guard, [this] { return !m_held; });
        ++m_finished;
        return m_result;
    }

    void Hold()
    {
        Set([this] { m_held = true; });
    }
    void Release()
    {
        Set([this] { m_held = false; });
    }
    void SetValue(int value)
    {
        Set([this, value] { m_value = value; });
    }
    void SetResult(bool result)
    {
        Set([this, result] { m_result = result; });
    }

    void WaitForStarted(int count)
    {
        std::unique_lock<std::mutex> guard(m_lock);
        m_changed.wait(guard, [this, count] { return m_started >= count; });
    }
    int Finished()
    {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_finished;
    }
    std::vector<int> Snapshots()
    {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_snapshots;
    }

private:
    template <typename F>
    void Set(F change)
    {
        {
            std::lock_guard<std::mutex> guard(m_lock);
            change();
        }
        m_changed.notify_all();
    }

    std::mutex m_lock;
    std::condition_variable m_changed;
    bool m_held = false;
    bool m_result = true;
    int m_value = 0;
    int m_started = 0;
    int m_finished = 0;
    std::vector<int> m_snapshots;
};

}  // namespace

TEST(CoalescingWriterTest, ABurstDuringAWriteIsServedByOneMoreWrite)
{
    GatedWrite write;
    CCoalescingWriter writer([&write] { return write(); });
    writer.Start();
    write.Hold();
    write.SetValue(1);
    writer.Request();
    write.WaitForStarted(1);
    for (int value = 2; value <= 50; ++value) {
        write.SetValue(value);
        writer.Request();
    }
    write.Release();
    EXPECT_TRUE(writer.Flush());
    // The held write, one for the whole burst; the flush came after the burst, so the burst's write
    // covers it only if it began after the flush, otherwise one more.
    const std::vector<int> snapshots = write.Snapshots();
    ASSERT_GE(snapshots.size(), 2u);
    ASSERT_LE(snapshots.size(), 3u);
    EXPECT_EQ(1, snapshots.front());
    EXPECT_EQ(50, snapshots.back());
}

TEST(CoalescingWriterTest, AFlushWaitsForAWriteThatBeganAfterIt)
{
    GatedWrite write;
    CCoalescingWriter writer([&write] { return write(); });
    writer.Start();
    write.Hold();
    writer.Request();
    write.WaitForStarted(1);  // a write of the old value is under way
    write.SetValue(7);
    std::future<bool> flushed = std::async(std::launch::async, [&writer] { return writer.Flush(); });
    write.Release();
    EXPECT_TRUE(flushed.get());
    EXPECT_EQ(2, write.Finished());
    EXPECT_EQ((std::vector<int>{0, 7}), write.Snapshots());
}

TEST(CoalescingWriterTest, AFlushReportsAFailedWriteAndTheNextOneRetries)
{
    GatedWrite write;
    CCoalescingWriter writer([&write] { return write(); });
    writer.Start();
    write.SetResult(false);
    EXPECT_FALSE(writer.Flush());
    write.SetResult(true);
    EXPECT_TRUE(writer.Flush());
}

TEST(CoalescingWriterTest, NothingIsWrittenBeforeStartAndRequestsMadeThenAreWrittenAtStart)
{
    GatedWrite write;
    CCoalescingWriter writer([&write] { return write(); });
    writer.Request();
    EXPECT_FALSE(writer.Flush());
    EXPECT_EQ(0, write.Finished());
    writer.Start();
    write.WaitForStarted(1);
    writer.Stop();
    EXPECT_EQ(1, write.Finished());
    EXPECT_FALSE(writer.Flush());
}

TEST(CoalescingWriterTest, StopServesWhatWasRequestedBefore)
{
    GatedWrite write;
    CCoalescingWriter writer([&write] { return write(); });
    writer.Start();
    write.Hold();
    writer.Request();
    write.WaitForStarted(1);
    writer.Request();
    std::thread release([&write] { write.Release(); });
    writer.Stop();
    release.join();
    EXPECT_EQ(2, write.Finished());
}
