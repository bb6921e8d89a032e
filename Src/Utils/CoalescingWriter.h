#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace VexlaLib {

// Runs a write on its own thread whenever asked, one at a time. Requests that arrive while a write runs
// are served together by the next one, so a burst costs at most two writes. The write function takes
// its own snapshot when it starts: a request made before that is covered by it.
class CCoalescingWriter
{
public:
    // Takes a snapshot of what is to be written and writes it; true when it is durable.
    typedef std::function<bool()> TWrite;

    explicit CCoalescingWriter(const TWrite& write);
    // Finishes the write under way and those requested before, then ends the thread.
    ~CCoalescingWriter();

    CCoalescingWriter(const CCoalescingWriter&) = delete;
    CCoalescingWriter& operator=(const CCoalescingWriter&) = delete;

    // Starts the thread; requests made before are written then. Later calls do nothing.
    void Start();
    // Asks for a write and returns at once.
    void Request();
    // Asks for a write and waits for one that began after the call; returns whether it succeeded.
    // Before Start (or after Stop) nothing is written and false is returned at once.
    bool Flush();
    // Serves what was requested, then ends the thread. Later requests are not written.
    void Stop();

private:
    void Run();

    const TWrite m_write;
    std::mutex m_lock;
    std::condition_variable m_changed;
    std::thread m_thread;
    bool m_running = false;
    bool m_stopping = false;
    unsigned long long m_requested = 0;  // requests made so far
    unsigned long long m_served = 0;     // requests covered by the last finished write
    bool m_lastWriteOk = false;
};

}  // namespace VexlaLib
