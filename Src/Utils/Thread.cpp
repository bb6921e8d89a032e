#include "Utils/Thread.h"

#include <unistd.h>

namespace VexlaLib {

CThread::CThread() : m_alive(false), m_thread(), m_joinable(false) {}

CThread::~CThread() { Wait(); }

bool CThread::Start()
{
    if (m_joinable)
        return false;
    m_joinable = pthread_create(&m_thread, nullptr, &CThread::Run, this) == 0;
    return m_joinable;
}

void CThread::Wait()
{
    if (!m_joinable)
        return;
    pthread_join(m_thread, nullptr);
    m_joinable = false;
}

void CThread::Sleep(int ms)
{
    usleep(static_cast<useconds_t>(ms) * 1000);
}

void* CThread::Run(void* self)
{
    CThread* thread = static_cast<CThread*>(self);
    thread->m_alive = true;
    thread->OnExecute();
    thread->m_alive = false;
    return nullptr;
}

}  // namespace VexlaLib
