#include "Utils/Signal.h"

#include <errno.h>
#include <time.h>

namespace VexlaLib {

CSignal::CSignal() : m_signalled(false)
{
    pthread_mutex_init(&m_mutex, nullptr);
    // Time-outs are measured on the monotonic clock, so setting the wall clock does not stretch them.
    pthread_condattr_t attributes;
    pthread_condattr_init(&attributes);
    pthread_condattr_setclock(&attributes, CLOCK_MONOTONIC);
    pthread_cond_init(&m_condition, &attributes);
    pthread_condattr_destroy(&attributes);
}

CSignal::~CSignal()
{
    pthread_cond_destroy(&m_condition);
    pthread_mutex_destroy(&m_mutex);
}

void CSignal::Signal()
{
    pthread_mutex_lock(&m_mutex);
    m_signalled = true;
    pthread_cond_signal(&m_condition);
    pthread_mutex_unlock(&m_mutex);
}

bool CSignal::Wait(int seconds)
{
    pthread_mutex_lock(&m_mutex);
    if (seconds <= 0) {
        while (!m_signalled)
            pthread_cond_wait(&m_condition, &m_mutex);
    } else {
        timespec deadline;
        clock_gettime(CLOCK_MONOTONIC, &deadline);
        deadline.tv_sec += seconds;
        while (!m_signalled) {
            if (pthread_cond_timedwait(&m_condition, &m_mutex, &deadline) == ETIMEDOUT)
                break;
        }
    }
    const bool signalled = m_signalled;
    m_signalled = false;
    pthread_mutex_unlock(&m_mutex);
    return signalled;
}

void CSignal::ClearIfSignalled()
{
    pthread_mutex_lock(&m_mutex);
    m_signalled = false;
    pthread_mutex_unlock(&m_mutex);
}

}  // namespace VexlaLib
