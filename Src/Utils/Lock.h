#pragma once

#include <pthread.h>

namespace VexlaLib {

// A plain (not recursive) mutex.
class CLock {
public:
    CLock();
    virtual ~CLock();

    CLock(const CLock&) = delete;
    CLock& operator=(const CLock&) = delete;

    void Lock();
    void Unlock();

private:
    pthread_mutex_t m_mutex;
};

}  // namespace VexlaLib
