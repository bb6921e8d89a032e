#pragma once

#include <pthread.h>

#include <atomic>

namespace VexlaLib {

// Base of the library's worker threads. A subclass implements OnExecute and must make it return
// before the object is destroyed: the destructor joins the thread.
class CThread {
public:
    CThread();
    virtual ~CThread();

    CThread(const CThread&) = delete;
    CThread& operator=(const CThread&) = delete;

    // Starts OnExecute on a new thread. Returns false if the thread could not be created or runs already.
    bool Start();
    // Joins the thread; returns at once when it was never started or has been joined already.
    void Wait();
    bool IsAlive() const { return m_alive; }

    static void Sleep(int ms);

protected:
    virtual void OnExecute() = 0;

private:
    static void* Run(void* self);

    std::atomic<bool> m_alive;
    pthread_t m_thread;
    bool m_joinable;
};

}  // namespace VexlaLib
